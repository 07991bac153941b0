// make_currency_xml: writes the bundled currency catalogue (resources/currency.xml)
// to standard output, using the ICU currency data installed on the build machine.
//
// Built and run by scripts/make-currency-xml; not part of the application build.
//
// Each catalogue item is one text of six ";"-separated fields:
//   ISO code ; "ISO - English name" ; symbol ; simple symbol ; P|S ; decimals
//
// * Which currencies: every common, non-deprecated ISO 4217 code that is legal
//   tender in at least one territory today, read from ICU's territory/currency
//   map. (ucurr_isAvailable() is not used as the filter on its own: it keeps
//   only one validity range per code, so a code that was retired in one
//   territory but still circulates elsewhere, e.g. GBP, can be reported as
//   unavailable.) Funds codes, precious metals, test codes and other
//   non-currency X-codes are dropped; the regional currencies XAF, XCD, XOF and
//   XPF stay.
// * symbol: the English symbol, which tells look-alike dollars and yens apart
//   (CA$, A$, CN¥); when English only knows the ISO code, the symbol used in a
//   territory of the currency (Rp, ₽, ฿ ...).
// * simple symbol: the short (narrow) symbol of a territory of the currency,
//   used when the currency is the ledger's main one.
// * position: where a territory's currency number format puts the sign.
// * decimals: ICU's default fraction digits.

#include <unicode/ucal.h>
#include <unicode/ucurr.h>
#include <unicode/uenum.h>
#include <unicode/uloc.h>
#include <unicode/unum.h>
#include <unicode/uregion.h>
#include <unicode/ures.h>
#include <unicode/ustring.h>
#include <unicode/uchar.h>
#include <unicode/uversion.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

[[noreturn]] void die(const std::string& what, UErrorCode status) {
    std::fprintf(stderr, "make_currency_xml: %s: %s\n", what.c_str(), u_errorName(status));
    std::exit(1);
}

struct BundleCloser {
    void operator()(UResourceBundle* b) const { ures_close(b); }
};
using Bundle = std::unique_ptr<UResourceBundle, BundleCloser>;

struct EnumCloser {
    void operator()(UEnumeration* e) const { uenum_close(e); }
};
using Enum = std::unique_ptr<UEnumeration, EnumCloser>;

struct FormatCloser {
    void operator()(UNumberFormat* f) const { unum_close(f); }
};
using Format = std::unique_ptr<UNumberFormat, FormatCloser>;

std::u16string toU16(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

std::string toUtf8(const std::u16string& text) {
    UErrorCode status = U_ZERO_ERROR;
    int32_t needed = 0;
    u_strToUTF8(nullptr, 0, &needed, text.data(), static_cast<int32_t>(text.size()), &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) die("u_strToUTF8", status);
    std::string out(static_cast<size_t>(needed), '\0');
    status = U_ZERO_ERROR;
    u_strToUTF8(out.data(), needed, nullptr, text.data(), static_cast<int32_t>(text.size()), &status);
    if (U_FAILURE(status)) die("u_strToUTF8", status);
    return out;
}

// Drops directional marks and invisible characters (Cape Verde's escudo sign
// is a zero-width space in ICU) and turns no-break spaces into plain spaces, so a
// symbol copied out of a right-to-left locale is just its visible characters.
std::u16string cleanText(const std::u16string& text) {
    std::u16string out;
    for (char16_t c : text) {
        if (c == 0x200B || c == 0x200E || c == 0x200F || c == 0x061C || c == 0x00AD || c == 0x2060 ||
            (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0xFEFF) {
            continue;
        }
        if (c == 0x00A0 || c == 0x202F || c == 0x2007) c = u' ';
        if (c < 0x20) continue;
        out.push_back(c);
    }
    size_t first = out.find_first_not_of(u' ');
    if (first == std::u16string::npos) return {};
    size_t last = out.find_last_not_of(u' ');
    return out.substr(first, last - first + 1);
}

// ucurr_getName for one name style; returns the ISO code itself when the
// locale has no name of that style.
std::u16string currencyName(const std::string& iso, const std::string& locale, UCurrNameStyle style) {
    std::u16string code = toU16(iso);
    UErrorCode status = U_ZERO_ERROR;
    UBool isChoiceFormat = false;
    int32_t length = 0;
    const UChar* name = ucurr_getName(code.c_str(), locale.c_str(), style, &isChoiceFormat, &length, &status);
    if (U_FAILURE(status) || name == nullptr || length <= 0) return code;
    std::u16string cleaned = cleanText(std::u16string(name, static_cast<size_t>(length)));
    return cleaned.empty() ? code : cleaned;
}

UDate resourceDate(UResourceBundle* entry, const char* key, bool& present) {
    UErrorCode status = U_ZERO_ERROR;
    Bundle field(ures_getByKey(entry, key, nullptr, &status));
    present = false;
    if (U_FAILURE(status)) return 0;
    int32_t length = 0;
    const int32_t* v = ures_getIntVector(field.get(), &length, &status);
    if (U_FAILURE(status) || v == nullptr || length < 2) return 0;
    present = true;
    auto millis = static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(v[0])) << 32) |
                                       static_cast<uint32_t>(v[1]));
    return static_cast<UDate>(millis);
}

bool isTerritory(const std::string& code) {
    UErrorCode status = U_ZERO_ERROR;
    const URegion* region = uregion_getRegionFromCode(code.c_str(), &status);
    return U_SUCCESS(status) && region != nullptr && uregion_getType(region) == URGN_TERRITORY;
}

struct Usage {
    // Territories where the code is legal tender today, in the map's order.
    std::vector<std::string> territories;
    // Territories where it is the first (main) tender currency.
    std::set<std::string> primaryIn;
};

// ISO code -> territories using it as legal tender on `when`.
std::map<std::string, Usage> tenderToday(UDate when) {
    UErrorCode status = U_ZERO_ERROR;
    Bundle supplemental(ures_openDirect(U_ICUDATA_NAME "-curr", "supplementalData", &status));
    if (U_FAILURE(status)) die("opening currency supplemental data", status);
    Bundle map(ures_getByKey(supplemental.get(), "CurrencyMap", nullptr, &status));
    if (U_FAILURE(status)) die("reading CurrencyMap", status);

    std::map<std::string, Usage> usage;
    int32_t regions = ures_getSize(map.get());
    for (int32_t r = 0; r < regions; ++r) {
        status = U_ZERO_ERROR;
        Bundle region(ures_getByIndex(map.get(), r, nullptr, &status));
        if (U_FAILURE(status)) die("reading CurrencyMap entry", status);
        const char* key = ures_getKey(region.get());
        if (key == nullptr || !isTerritory(key)) continue;
        std::string territory = key;
        bool first = true;
        int32_t entries = ures_getSize(region.get());
        for (int32_t i = 0; i < entries; ++i) {
            status = U_ZERO_ERROR;
            Bundle entry(ures_getByIndex(region.get(), i, nullptr, &status));
            if (U_FAILURE(status)) continue;

            int32_t length = 0;
            const UChar* id = ures_getStringByKey(entry.get(), "id", &length, &status);
            if (U_FAILURE(status) || id == nullptr || length != 3) continue;
            std::string iso = toUtf8(std::u16string(id, 3));

            status = U_ZERO_ERROR;
            const UChar* tender = ures_getStringByKey(entry.get(), "tender", &length, &status);
            if (U_SUCCESS(status) && tender != nullptr && std::u16string(tender, length) == u"false") continue;

            bool hasFrom = false;
            bool hasTo = false;
            UDate from = resourceDate(entry.get(), "from", hasFrom);
            UDate to = resourceDate(entry.get(), "to", hasTo);
            if (hasFrom && from > when) continue;
            if (hasTo && to < when) continue;

            Usage& u = usage[iso];
            u.territories.push_back(territory);
            if (first) u.primaryIn.insert(territory);
            first = false;
        }
    }
    return usage;
}

std::set<std::string> commonIsoCodes() {
    UErrorCode status = U_ZERO_ERROR;
    Enum codes(ucurr_openISOCurrencies(UCURR_COMMON | UCURR_NON_DEPRECATED, &status));
    if (U_FAILURE(status)) die("ucurr_openISOCurrencies", status);
    std::set<std::string> out;
    while (const char* code = uenum_next(codes.get(), nullptr, &status)) {
        if (U_FAILURE(status)) die("enumerating ISO currencies", status);
        out.insert(code);
    }
    return out;
}

bool isExcluded(const std::string& iso) {
    // Regional currencies share the X prefix with metals, units of account and test codes.
    static const std::set<std::string> regional = {"XAF", "XCD", "XCG", "XOF", "XPF"};
    static const std::set<std::string> funds = {"BOV", "CHE", "CHW", "CLF", "COU", "MXV",
                                                "USN", "USS", "UYI", "UYW"};
    if (iso.size() != 3) return true;
    if (iso[0] == 'X') return regional.count(iso) == 0;
    return funds.count(iso) != 0;
}

// Installed locales grouped by territory.
std::map<std::string, std::vector<std::string>> localesByTerritory(std::set<std::string>& all) {
    std::map<std::string, std::vector<std::string>> out;
    int32_t count = uloc_countAvailable();
    for (int32_t i = 0; i < count; ++i) {
        std::string name = uloc_getAvailable(i);
        all.insert(name);
        char country[ULOC_COUNTRY_CAPACITY] = {};
        UErrorCode status = U_ZERO_ERROR;
        uloc_getCountry(name.c_str(), country, sizeof country, &status);
        if (U_FAILURE(status) || country[0] == '\0') continue;
        out[country].push_back(name);
    }
    return out;
}

std::string component(int32_t (*get)(const char*, char*, int32_t, UErrorCode*), const std::string& locale) {
    char buffer[ULOC_FULLNAME_CAPACITY] = {};
    UErrorCode status = U_ZERO_ERROR;
    get(locale.c_str(), buffer, sizeof buffer, &status);
    return U_SUCCESS(status) ? std::string(buffer) : std::string();
}

// The locale people in a territory most likely use, e.g. KR -> ko_KR, TW -> zh_Hant_TW.
std::string localeForTerritory(const std::string& territory,
                               const std::map<std::string, std::vector<std::string>>& byTerritory,
                               const std::set<std::string>& installed) {
    std::string likely = component(uloc_addLikelySubtags, "und_" + territory);
    std::string language = component(uloc_getLanguage, likely);
    std::string script = component(uloc_getScript, likely);
    if (!language.empty()) {
        if (!script.empty() && installed.count(language + "_" + script + "_" + territory)) {
            return language + "_" + script + "_" + territory;
        }
        if (installed.count(language + "_" + territory)) return language + "_" + territory;
    }
    auto found = byTerritory.find(territory);
    if (found != byTerritory.end() && !found->second.empty()) return found->second.front();
    if (!language.empty()) return language + "_" + territory;
    return "en_" + territory;
}

// The territory whose conventions stand for the currency: the one named by the
// code's first two letters when it uses the currency, otherwise the first
// territory where it is the main currency.
std::string homeTerritory(const std::string& iso, const Usage& usage) {
    // The euro has no territory of its own; take its largest member.
    if (iso == "EUR") return "DE";
    std::string prefix = iso.substr(0, 2);
    for (const auto& t : usage.territories) {
        if (t == prefix) return t;
    }
    if (!usage.primaryIn.empty()) return *usage.primaryIn.begin();
    return usage.territories.front();
}

// 'S' when the locale's currency format writes the sign after the number.
char symbolPosition(const std::string& iso, const std::string& locale) {
    UErrorCode status = U_ZERO_ERROR;
    Format format(unum_open(UNUM_CURRENCY, nullptr, 0, locale.c_str(), nullptr, &status));
    if (U_FAILURE(status)) return 'P';
    std::u16string code = toU16(iso);
    unum_setTextAttribute(format.get(), UNUM_CURRENCY_CODE, code.c_str(), 3, &status);
    if (U_FAILURE(status)) return 'P';
    UChar buffer[64] = {};
    int32_t length = unum_formatDouble(format.get(), 1.0, buffer, 64, nullptr, &status);
    if (U_FAILURE(status)) return 'P';
    std::u16string text = cleanText(std::u16string(buffer, static_cast<size_t>(length)));
    for (char16_t c : text) {
        if (c == u' ' || c == u'-' || c == u'+' || c == 0x2212) continue;
        return u_isdigit(c) ? 'S' : 'P';
    }
    return 'P';
}

// Field text fit for the item: no field separator, XML-escaped.
std::string field(const std::u16string& text) {
    std::u16string safe = text;
    for (char16_t& c : safe) {
        if (c == u';') c = u',';
    }
    std::string utf8 = toUtf8(safe);
    std::string out;
    for (char c : utf8) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            default: out += c;
        }
    }
    return out;
}

}  // namespace

int main() {
    UDate today = ucal_getNow();

    std::set<std::string> installed;
    auto byTerritory = localesByTerritory(installed);
    auto usage = tenderToday(today);
    std::set<std::string> isoCodes = commonIsoCodes();

    std::vector<std::string> lines;
    for (const std::string& iso : isoCodes) {
        if (isExcluded(iso)) continue;
        auto used = usage.find(iso);
        if (used == usage.end() || used->second.territories.empty()) continue;

        std::string territory = homeTerritory(iso, used->second);
        std::string locale = localeForTerritory(territory, byTerritory, installed);
        std::u16string code = toU16(iso);

        std::u16string longName = currencyName(iso, "en", UCURR_LONG_NAME);

        std::u16string symbol = currencyName(iso, "en", UCURR_SYMBOL_NAME);
        if (symbol == code) symbol = currencyName(iso, locale, UCURR_SYMBOL_NAME);
        if (symbol == code) symbol = currencyName(iso, "en", UCURR_NARROW_SYMBOL_NAME);
        if (symbol == code) symbol = currencyName(iso, locale, UCURR_NARROW_SYMBOL_NAME);

        std::u16string simple = currencyName(iso, locale, UCURR_NARROW_SYMBOL_NAME);
        if (simple == code) simple = currencyName(iso, "en", UCURR_NARROW_SYMBOL_NAME);
        if (simple == code) simple = symbol;

        UErrorCode status = U_ZERO_ERROR;
        int32_t decimals = ucurr_getDefaultFractionDigits(code.c_str(), &status);
        if (U_FAILURE(status) || decimals < 0) decimals = 2;

        std::string line = "  <item>";
        line += iso + ";";
        line += field(code + u" - " + longName) + ";";
        line += field(symbol) + ";";
        line += field(simple) + ";";
        line += symbolPosition(iso, locale);
        line += ";" + std::to_string(decimals) + "</item>";
        lines.push_back(line);
    }

    if (lines.empty()) {
        std::fprintf(stderr, "make_currency_xml: no currencies found\n");
        return 1;
    }

    std::printf("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    UVersionInfo version;
    char versionText[U_MAX_VERSION_STRING_LENGTH] = {};
    u_getVersion(version);
    u_versionToString(version, versionText);
    std::printf("<!-- Generated by scripts/make-currency-xml from ICU %s currency data; do not edit by hand. -->\n",
                versionText);
    std::printf("<!-- item: ISO code;ISO - long name;symbol;simple symbol;symbol position (P before, S after);decimals -->\n");
    std::printf("<currencies>\n");
    for (const auto& line : lines) std::printf("%s\n", line.c_str());
    std::printf("</currencies>\n");
    return 0;
}
