// The desktop API's work on the ledger: each endpoint under "/varnelBook/"
// as a function from its parameters to the reply text (object texts, the
// XML dataset of a period's transactions, "{success:…}"). Reads go through
// the reports, changes through the transaction save and the account
// repository, so the browser changes the ledger exactly as the program's
// own commands do. Nothing here knows about sockets or sessions.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "model/ledger.h"
#include "web/desktop_format.h"

namespace varnel::web {

inline constexpr std::string_view kApiPrefix = "/varnelBook/";

inline constexpr std::string_view kTextContentType = "text/plain; charset=UTF-8";
inline constexpr std::string_view kXmlContentType = "application/xml; charset=UTF-8";
inline constexpr std::string_view kSpreadsheetContentType = "application/vnd.ms-excel; charset=UTF-8";
inline constexpr std::string_view kStoreContentType = "application/octet-stream; charset=UTF-8";
inline constexpr std::string_view kUploadContentType = "text/html; charset=UTF-8";

inline constexpr std::string_view kSuccess = "{success:true}";
inline constexpr std::string_view kFailure = "{success:false}";

// A reply of the API: its text and the content type it asks for (none for
// the replies that carry none).
struct ApiReply {
  std::string text;
  std::optional<std::string> contentType;
};

// The date a malformed start date of a period query stands for.
inline constexpr std::string_view kFallbackStartDate = "2011-02-01";

class DesktopApi {
 public:
  // `ledger` is the program's open ledger; an upload may replace it, so the
  // API never keeps anything of it between calls.
  explicit DesktopApi(std::unique_ptr<Ledger>& ledger) : ledger_(ledger) {}

  // The endpoint named `name` (the path after "/varnelBook/") with the
  // query parameters and the form fields; none for a name that is not an
  // endpoint handled here (login, the downloads and the upload are the
  // connection's). A change the ledger refuses (bad input, a store failure)
  // is "{success:false}" and changes nothing; a read the store cannot do
  // throws StoreError.
  std::optional<ApiReply> call(std::string_view name, const Params& query, const Params& form);

  // The replies one by one.
  std::string initVar();
  std::string getInitData();
  std::string getDataByPeriod(const Params& query);
  std::string getSummaryDataByPeriod(const Params& query);
  std::string getAssetData();
  std::string getCardData();
  std::string getEachAssetChartData(const Params& query);
  std::string getDashBoardData();
  std::string create(const Params& form);
  std::string update(const Params& form);
  // `body` is the request body as it came: "ids=:" and the uids joined by ":".
  std::string deleteTransactions(std::string_view body);
  std::string assetAdd(const Params& form);
  std::string assetModify(const Params& form);
  std::string addAssetCard(const Params& form);
  std::string modifyCard(const Params& form);
  std::string removeAsset(const Params& form);
  std::string moveAsset(const Params& form);
  std::string modifyMoveAsset(const Params& form);

  // The spreadsheet of the form's period, written to a temporary file in
  // `folder`; its download name is "<Account|CASHBOOK>_<start>~<end>.xlsx"
  // with the dates as received. None when the workbook could not be
  // written (logged).
  struct Spreadsheet {
    std::filesystem::path file;
    std::string downloadName;
  };
  std::optional<Spreadsheet> getExcelFile(const Params& form, const std::filesystem::path& folder);

  // The interface language as the page and the settings script give it:
  // "pt" as "pt_BR", a language we have no client texts for as "en".
  std::string pageLanguage() const;

 private:
  Ledger& ledger() { return *ledger_; }
  MoneyForm money();
  // The account's balance as the overview has it ("Money"): what a changed
  // balance is measured against.
  double accountBalance(const std::string& uid);
  std::string transactionChange(const Params& form, bool edit);
  std::string transferChange(const Params& form, bool edit);
  std::string accountChange(const Params& form, bool edit, bool card);

  std::unique_ptr<Ledger>& ledger_;
};

}  // namespace varnel::web
