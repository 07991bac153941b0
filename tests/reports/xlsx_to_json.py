"""Reads a workbook with openpyxl, an independent reader, and prints what a
person would see as JSON, so that the export tests compare cells and not
bytes:

  {"sheets": [names], "widths": [column A width, ...],
   "rows": [[cell, ...], ...]}

A cell is null when empty, else {"type": "text" | "number" | "date",
"value": ..., "format": number format}; a date's value is ISO-8601 local
time. Text is decoded as the workbook format defines it ("_x0041_" is "A",
"_x005F_" a literal underscore), as a spreadsheet program shows it.

Exit status 3 when openpyxl is missing, so a test can say so instead of
passing without having read anything.
"""
import datetime
import json
import re
import sys

try:
    import openpyxl
    from openpyxl.utils import get_column_letter
except ImportError as error:  # pragma: no cover - the point is to fail loudly
    print("openpyxl is not installed for %s: %s" % (sys.executable, error), file=sys.stderr)
    sys.exit(3)

ESCAPE = re.compile(r"_x([0-9A-Fa-f]{4})_")


def cell_json(cell):
    value = cell.value
    if value is None:
        return None
    if isinstance(value, datetime.datetime):
        return {"type": "date", "value": value.isoformat(), "format": cell.number_format}
    if isinstance(value, bool) or not isinstance(value, (int, float, str)):
        return {"type": "other", "value": str(value), "format": cell.number_format}
    if isinstance(value, str):
        text = ESCAPE.sub(lambda m: chr(int(m.group(1), 16)), value)
        return {"type": "text", "value": text, "format": cell.number_format}
    return {"type": "number", "value": value, "format": cell.number_format}


def main():
    book = openpyxl.load_workbook(sys.argv[1])
    sheet = book.worksheets[0]
    widths = []
    for index in range(1, sheet.max_column + 1):
        dimension = sheet.column_dimensions.get(get_column_letter(index))
        widths.append(dimension.width if dimension is not None else None)
    rows = [[cell_json(c) for c in row] for row in sheet.iter_rows()]
    json.dump({"sheets": book.sheetnames, "widths": widths, "rows": rows}, sys.stdout, ensure_ascii=False)


if __name__ == "__main__":
    main()
