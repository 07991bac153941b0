// A small ledger served by the desktop API over loopback: two ordinary
// accounts and a credit card paid from the bank, an income category and an
// expense category with a sub-category, a food budget, and four
// transactions (a salary, a lunch, a card purchase of last month and a
// transfer). The server runs on its own thread, as the program runs it on
// its main one; once it runs, the test touches the ledger only through
// onServer.
#pragma once

#include <atomic>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <fmt/format.h>
#include <gtest/gtest.h>

#include "ledger/transaction_save.h"
#include "model/base_repository.h"
#include "model/etc_repository.h"
#include "reports/budget_repository.h"
#include "support/http_test_client.h"
#include "support/test_ledger.h"
#include "web/http_server.h"
#include "web/my_http_connection.h"

namespace varnel::testing {

inline std::string fileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

class DesktopTest : public LedgerTest {
 protected:
  static constexpr const char* kPassword = "abc123";

  void SetUp() override { setUpLedger(0); }

  // The ledger in English with a main currency of `decimals` decimals.
  void setUpLedger(int decimals) {
    LedgerTest::SetUp();
    TestLedgerOptions english;
    english.locale = "en_US";
    english.lang = "en";
    english.region = "US";
    reopen(english);
    ledger_->store().db().exec("PRAGMA synchronous = OFF");
    BaseRepository repo(*ledger_);
    Currency main = repo.newObjectForEntity<Currency>("MAIN");
    main.iso = decimals > 0 ? "USD" : "KRW";
    main.mainIso = main.iso;
    main.rate = 1;
    main.point = decimals;
    main.isMainCurrency = 1;
    main.isShow = 1;
    main.isDel = 0;
    ASSERT_TRUE(repo.save(main, "updateCurrency"));
    addGroup("G_CASH", "Cash", 1, 1);
    addGroup("G_CARD", "Cards", kCreditCardGroupType, 2);
    addAccount("WALLET", "Wallet", "G_CASH", 1);
    addAccount("BANK", "Bank", "G_CASH", 2);
    addAccount("VISA", "Visa", "G_CARD", 3, "BANK");
    addCategory("SALARY", "Salary", 0);
    addCategory("FOOD", "Food", 1);
    addCategory("LUNCH", "Lunch", 1, "FOOD");
    ASSERT_TRUE(EtcRepository(*ledger_).updateUseSubCategory(true));
    ledger_->commonData().ReloadTheData();
    ASSERT_TRUE(BudgetRepository(*ledger_).updateBudget(BudgetTarget::category("FOOD"), budget_code::kExpense,
                                                        20261201, budget_code::kMonthly, 200000));

    salary_ = save(kModeIncome, "BANK", 3000000, "SALARY", at(2026, 12, 1, 9), "December pay");
    lunch_ = save(kModeExpense, "WALLET", 12000, "LUNCH", at(2026, 12, 5, 12), "Noodles", "with Kim");
    cardBuy_ = save(kModeExpense, "VISA", 30000, "FOOD", at(2026, 11, 20, 19), "Groceries");
    TransactionForm transfer;
    transfer.mode = kModeTransfer;
    transfer.account = "BANK";
    transfer.targetAccount = "WALLET";
    transfer.amount = 50000;
    transfer.date = at(2026, 12, 6, 10);
    transfer.content = "Top up";
    const auto moved = TransactionSave(*ledger_).saveTransaction(transfer);
    ASSERT_TRUE(moved.ok());
    transferOut_ = *moved.record->uid;
    transferIn_ = *moved.opposite->uid;

    root_ = dir_.path() / "www";
    for (const char* file : {"js/init.js", "js/login.js", "js/layout.js", "js/locale/tarnwick-lang.js",
                             "css/tarnwick.css"}) {
      std::filesystem::create_directories((root_ / file).parent_path());
      std::ofstream(root_ / file) << "/* " << file << " */";
    }
  }

  void TearDown() override { stopServer(); }

  void addGroup(const std::string& uid, const std::string& name, int64_t type, int64_t order) {
    BaseRepository repo(*ledger_);
    AssetGroup g = repo.newObjectForEntity<AssetGroup>(uid);
    g.AssetGroupName = name;
    g.Status = type;
    g.Order = order;
    g.isDel = 0;
    ASSERT_TRUE(repo.save(g, "updateAssetGroup"));
  }
  void addAccount(const std::string& uid, const std::string& name, const std::string& group, int64_t order,
                  const std::string& payer = "") {
    BaseRepository repo(*ledger_);
    Asset a = repo.newObjectForEntity<Asset>(uid);
    a.NicName = name;
    a.groupUid = group;
    a.currencyUid = "MAIN";
    a.Order = order;
    a.isDel = 0;
    if (!payer.empty()) {
      a.cardAssetUid = payer;
      a.Card_DayFin = "1";
      a.Card_DayPay = "15";
    }
    ASSERT_TRUE(repo.save(a, "updateAsset"));
  }
  void addCategory(const std::string& uid, const std::string& name, int doType, const std::string& parent = "") {
    BaseRepository repo(*ledger_);
    Category c = repo.newObjectForEntity<Category>(uid);
    c.Name = name;
    c.doType = doType;
    c.Status = parent.empty() ? 0 : 2;
    c.pUid = parent;
    c.isDel = 0;
    c.Order = repo.nextAvailble<Category>("Order");
    ASSERT_TRUE(repo.save(c, "updateCategory"));
  }
  std::string save(int mode, const std::string& account, double amount, const std::string& category, double date,
                   const std::string& content, const std::string& memo = "") {
    TransactionForm f;
    f.mode = mode;
    f.account = account;
    f.amount = amount;
    f.category = category;
    f.date = date;
    f.content = content;
    f.memo = memo;
    const auto saved = TransactionSave(*ledger_).saveTransaction(f);
    EXPECT_TRUE(saved.ok()) << logText();
    return saved.record ? *saved.record->uid : "";
  }
  double at(int y, int m, int d, int h) { return ledger_->env().dates().fromLocal(y, m, d, h); }

  // Serves the ledger with the password (none: off).
  void startServer(std::optional<std::string> password = std::string(kPassword),
                   web::LoginThrottle::Settings throttle = {}, web::DesktopSettings desktop = {}) {
    web::HTTPServerSettings settings;
    settings.documentRoot = std::filesystem::canonical(root_);
    settings.interface = "127.0.0.1";
    settings.clock = [] { return std::chrono::system_clock::time_point(std::chrono::seconds(1796860800)); };
    service_ = std::make_unique<web::DesktopService>(ledger_, web::DesktopAccess(password, std::move(throttle)),
                                                     desktop);
    server_ = std::make_unique<web::HTTPServer>(io_, std::move(settings), log_);
    service_->installOn(*server_);
    std::error_code error;
    ASSERT_TRUE(server_->start(error)) << error.message();
    port_ = server_->listeningPort();
    thread_ = std::thread([this] { io_.run(); });
  }

  void stopServer() {
    if (!thread_.joinable()) return;
    asio::post(io_, [this] { server_->stop(); });
    thread_.join();
  }

  // Runs `body` on the server's thread and returns its result.
  template <class Body>
  auto onServer(Body body) {
    std::packaged_task<decltype(body())()> task(body);
    auto result = task.get_future();
    asio::post(io_, [&task] { task(); });
    return result.get();
  }

  // One request on a connection of its own; `session` goes in a cookie.
  HttpReply call(const std::string& method, const std::string& target, const std::string& body = "",
                 const std::string& session = "") {
    HttpTestClient client(port_);
    std::string extra;
    if (!session.empty()) extra += "Cookie: conid=" + session + "\r\n";
    if (method == "POST") {
      extra += "Content-Type: application/x-www-form-urlencoded\r\n";
      extra += fmt::format("Content-Length: {}\r\n", body.size());
    }
    client.send(getRequest(target, extra, method) + body);
    auto reply = client.readReply(method == "HEAD");
    if (!reply) throw std::runtime_error("no reply to " + method + " " + target);
    return *reply;
  }
  HttpReply get(const std::string& target, const std::string& session) { return call("GET", target, "", session); }
  HttpReply post(const std::string& target, const std::string& body, const std::string& session) {
    return call("POST", target, body, session);
  }

  // Logs in with the password and returns the session.
  std::string login() {
    const auto reply = post("/varnelBook/login", std::string("pwd=") + kPassword, "");
    const auto start = reply.body.find("conid:'");
    if (start == std::string::npos) throw std::runtime_error("login refused: " + reply.body);
    return reply.body.substr(start + 7, 32);
  }

  std::filesystem::path storePath() { return dir_.path() / "home" / "Documents" / "varnel.sqlite"; }

  std::string salary_, lunch_, cardBuy_, transferOut_, transferIn_;
  std::filesystem::path root_;
  asio::io_context io_;
  std::unique_ptr<web::DesktopService> service_;
  std::unique_ptr<web::HTTPServer> server_;
  std::thread thread_;
  uint16_t port_ = 0;
};

}  // namespace varnel::testing
