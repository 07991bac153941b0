#include "bench/ledger_generator.h"

#include <iterator>
#include <random>
#include <string>
#include <stdexcept>

#include <fmt/format.h>

#include "ledger/currency_repository.h"
#include "model/base_repository.h"

namespace varnel::bench {

namespace {

// Merchants as Korean card statements name them: a brand and a branch. Two
// brands carry accents, as a few real ones do, so the search meets text it
// must fold itself.
constexpr const char* kBrands[] = {
    "스타벅스", "이디야커피", "투썸플레이스", "GS25", "CU", "세븐일레븐", "이마트", "홈플러스",
    "롯데마트", "쿠팡", "배달의민족", "요기요", "올리브영", "다이소", "교보문고", "CGV",
    "메가박스", "파리바게뜨", "뚜레쥬르", "맥도날드", "버거킹", "KFC", "서브웨이", "김밥천국",
    "본죽", "SK에너지", "GS칼텍스", "카카오T", "티머니", "코레일", "대한항공", "무신사",
    "11번가", "네이버페이", "Apple", "Netflix", "Spotify", "Amazon", "Coffee Bean", "Blue Bottle",
    "Paul Bassett", "Costco", "IKEA", "Zara", "Uniqlo", "H&M", "(주)한샘", "삼성디지털프라자",
    "현대백화점", "신세계백화점", "Café Mamas", "Pâtisserie Lumière",
};
constexpr const char* kBranches[] = {
    "강남역점", "역삼점", "서초점", "잠실점", "홍대입구점", "신촌점", "여의도점", "광화문점",
    "판교점", "분당점", "해운대점", "서면점", "동성로점", "둔산점", "수원역점", "일산점",
    "부평점", "청주점", "전주점", "제주점", "본점", "온라인", "송도점", "목동점",
};
constexpr const char* kMemos[] = {
    "점심", "저녁 회식", "커피 ☕", "생일 선물 🎁", "주말 장보기", "택시비", "월세", "관리비",
    "lunch with team", "weekly groceries", "gift for mom", "※ 환불 예정", "출장 경비",
    "아이 학원비", "병원 진료비", "영화 「서울의 봄」", "crème brûlée", "주유 ~ 가득",
};
constexpr const char* kCards[] = {"신한카드", "삼성카드", "현대카드", "KB국민카드", "롯데카드", "우리카드"};

std::string merchant(uint64_t n) {
  constexpr uint64_t kBrandCount = std::size(kBrands);
  return fmt::format("{} {}", kBrands[n % kBrandCount], kBranches[(n / kBrandCount) % std::size(kBranches)]);
}

struct AccountPlan {
  const char* group;
  int count;
  bool flagged;  // transfer-expense
};

// 40 accounts in 8 groups.
constexpr AccountPlan kPlan[] = {
    {"11", 2, false}, {"1", 10, false}, {"2", 8, false}, {"3", 5, false},
    {"4", 6, true},   {"5", 4, false},  {"7", 3, true},  {"8", 2, true},
};

class Generator {
 public:
  Generator(Ledger& ledger, const GeneratorOptions& o)
      : ledger_(ledger), repo_(ledger), options_(o), rng_(o.seed), textRng_(o.seed ^ 0x7465787473ULL) {}

  GeneratedLedger run() {
    setUpCurrencies();
    setUpAccounts();
    loadCategories();
    writeTransactions();
    ledger_.commonData().ReloadTheData();
    return {written_, static_cast<int>(accounts_.size()), static_cast<int>(expense_.size() + income_.size())};
  }

 private:
  void setUpCurrencies() {
    CurrencyRepository currencies(ledger_);
    auto main = currencies.getMainCurrency();
    if (!main) throw std::runtime_error("the ledger has no main currency");
    mainUid_ = *main->uid;
    mainPoint_ = static_cast<int>(main->point.value_or(0));
    if (*main->iso != "USD") {
      auto usd = currencies.addCurrencyRate(*main->iso, "USD", 1350.5, true);
      usdUid_ = *usd->uid;
      usdRate_ = 1350.5;
    }
  }

  void setUpAccounts() {
    std::vector<Asset> accounts;
    int64_t order = repo_.nextAvailble<Asset>("Order");
    std::vector<std::string> banks;
    for (const auto& plan : kPlan) {
      for (int i = 0; i < plan.count; ++i) {
        Asset a = repo_.newObjectForEntity<Asset>(fmt::format("GEN-{}-{}", plan.group, i));
        a.NicName = fmt::format("Account {}-{}", plan.group, i);
        a.groupUid = plan.group;
        a.Order = order++;
        a.isDel = i == 5 && std::string(plan.group) == "1" ? 3 : 0;  // one hidden bank account
        a.isReflect = 0;
        a.transferExpense = plan.flagged ? 1 : 0;
        a.currencyUid = mainUid_;
        const std::string group = plan.group;
        if (group == "1") banks.push_back(*a.uid);
        if (group == "1" && i == 9 && !usdUid_.empty()) {
          a.currencyUid = usdUid_;
          usdAccount_ = *a.uid;
        }
        if (group == "2") {
          a.Card_DayFin = std::to_string(1 + (i * 7) % 28);
          a.Card_DayPay = std::to_string(1 + (i * 11) % 28);
          a.cardAssetUid = banks[i % 4];
          a.isCardAutoPay = i % 2;
          cards_.push_back(*a.uid);
        }
        if (group == "3") a.cardAssetUid = banks[i % 4];
        accounts.push_back(std::move(a));
      }
    }
    if (!repo_.saveAll(accounts, "updateAsset", true)) throw std::runtime_error("cannot save accounts");
    for (const auto& a : accounts) accounts_.push_back(a);
  }

  void loadCategories() {
    for (const auto& c : repo_.fetch<Category>(" WHERE ZISDEL IS NULL OR ZISDEL = 0 ORDER BY ZORDER")) {
      (c.doType.value_or(1) == 0 ? income_ : expense_).push_back(*c.uid);
    }
    if (income_.empty() || expense_.empty()) throw std::runtime_error("the ledger has no categories");
  }

  double amountAccountFor(const std::string& account, double mainAmount) {
    if (account == usdAccount_) return std::round(mainAmount / usdRate_ * 100) / 100;
    return mainAmount;
  }

  InOutCome row(const char* kind, const Asset& account, double amount, double date) {
    InOutCome t;
    t.uid = fmt::format("GEN-{:010d}", serial_++);
    t.Do_Type = kind;
    t.assetUid = account.uid;
    t.currencyUid = mainUid_;
    t.amountSub = t.amount = amount;
    t.amountAccount = amountAccountFor(*account.uid, amount);
    t.Date = date;
    t.txDateStr = ledger_.env().dates().dayKey(date);
    t.Content = merchant(rng_() % 5000);
    // Memos and card messages come from a generator of their own, so every
    // other choice is the same as in ledgers made before they existed.
    if (textRng_() % 100 < 15) t.memo = kMemos[textRng_() % std::size(kMemos)];
    if (std::string(kind) == "1" && (account.groupUid == "2" || account.groupUid == "3") &&
        textRng_() % 100 < 70) {
      const LocalDateTime local = ledger_.env().dates().toLocal(date);
      t.smsOrigine = fmt::format("[Web발신]\n{}({:04d})승인\n홍*동\n{}원 일시불\n{:02d}/{:02d} {:02d}:{:02d}\n{}\n누적{}원",
                                 kCards[textRng_() % std::size(kCards)], textRng_() % 10000,
                                 static_cast<int64_t>(amount), local.month, local.day, local.hour,
                                 local.minute, *t.Content, textRng_() % 3000000);
    }
    t.mark = 0;
    t.cardDivideMonthStr = "";
    t.isDel = (rng_() % 50 == 0) ? 1 : 0;  // about 2% deleted
    t.utime = ledger_.env().nowMs();
    t.isSynced = 1;
    return t;
  }

  const Asset& pick(const char* group) {
    std::vector<const Asset*> in;
    for (const auto& a : accounts_) {
      if (a.groupUid == group) in.push_back(&a);
    }
    return *in[rng_() % in.size()];
  }

  void flush(bool force) {
    if (batch_.size() < 20000 && !force) return;
    if (!repo_.saveAll(batch_, "updateInOutCome", false)) throw std::runtime_error("cannot save rows");
    written_ += static_cast<int64_t>(batch_.size());
    batch_.clear();
  }

  void writeTransactions() {
    const DateUtil& dates = ledger_.env().dates();
    const double now = ledger_.env().nowStoreSeconds();
    const double first = dates.fromLocal(dates.toLocal(now).year - options_.years, dates.toLocal(now).month, 1);
    const double span = now - first;
    StoreTransaction transaction(ledger_.store());
    std::uniform_real_distribution<double> when(0, span);
    while (written_ + static_cast<int64_t>(batch_.size()) < options_.transactions) {
      const double date = first + when(rng_);
      const int dice = static_cast<int>(rng_() % 100);
      const double amount = static_cast<double>((rng_() % 2000 + 1) * 100);
      if (dice < 10) {
        static const char* kIncomeGroups[] = {"1", "11", "4"};
        InOutCome t = row("0", pick(kIncomeGroups[rng_() % 3]), amount * 10, date);
        t.categoryUid = income_[rng_() % income_.size()];
        batch_.push_back(std::move(t));
      } else if (dice < 70) {
        static const char* kSpendGroups[] = {"11", "1", "2", "2", "3"};
        InOutCome t = row("1", pick(kSpendGroups[rng_() % 5]), amount, date);
        t.categoryUid = expense_[rng_() % expense_.size()];
        batch_.push_back(std::move(t));
      } else if (dice < 77) {
        instalments(date, amount * 6);
      } else if (dice < 98) {
        static const char* kFrom[] = {"1", "1", "4", "5", "11"};
        static const char* kTo[] = {"2", "4", "5", "7", "8", "1", "11"};
        const Asset& from = pick(kFrom[rng_() % 5]);
        const Asset& to = pick(kTo[rng_() % 7]);
        if (from.uid == to.uid) continue;
        transfer(from, to, amount * 3, date, rng_() % 5 == 0);
      } else {
        InOutCome t = row(rng_() % 2 ? "7" : "8", pick("1"), amount, date);
        t.categoryUid = "-4";
        batch_.push_back(std::move(t));
      }
      flush(false);
    }
    flush(true);
    transaction.commit();
  }

  void transfer(const Asset& from, const Asset& to, double amount, double date, bool withFee) {
    InOutCome out = row("3", from, amount, date);
    InOutCome in = row("4", to, amount, date);
    out.toAssetUid = to.uid;
    in.toAssetUid = from.uid;
    out.txUidTrans = in.txUidTrans = fmt::format("GEN-T-{}", serial_);
    in.isDel = out.isDel;
    in.Content = out.Content;
    in.memo = out.memo;
    if (withFee) {
      InOutCome fee = row("1", from, 500, date);
      fee.txUidFee = out.txUidFee = fmt::format("GEN-F-{}", serial_);
      fee.categoryUid = expense_.front();
      fee.isDel = 0;
      batch_.push_back(std::move(fee));
    }
    batch_.push_back(std::move(out));
    batch_.push_back(std::move(in));
  }

  void instalments(double date, double total) {
    const Asset& card = pick("2");
    const int n = 2 + static_cast<int>(rng_() % 11);
    const double part = std::trunc(total / n);
    const LocalDateTime t = ledger_.env().dates().toLocal(date);
    std::string parent;
    const std::string category = expense_[rng_() % expense_.size()];
    for (int k = 1; k <= n; ++k) {
      const double when = ledger_.env().dates().fromLocal(t.year, t.month + k - 1,
                                                          std::min(t.day, 28), t.hour, t.minute);
      InOutCome r = row("1", card, k == 1 ? part + (total - part * n) : part, when);
      r.isDel = 0;
      r.categoryUid = category;
      r.cardDivideMonth = "10001";
      r.cardDivideMonthStr = fmt::format("({}/{})", k, n);
      if (k == 1) parent = *r.uid;
      r.cardDivideUid = parent;
      batch_.push_back(std::move(r));
    }
  }

  Ledger& ledger_;
  BaseRepository repo_;
  GeneratorOptions options_;
  std::mt19937_64 rng_;
  std::mt19937_64 textRng_;
  std::string mainUid_, usdUid_, usdAccount_;
  int mainPoint_ = 0;
  double usdRate_ = 1;
  std::vector<Asset> accounts_;
  std::vector<std::string> cards_, income_, expense_;
  std::vector<InOutCome> batch_;
  int64_t written_ = 0;
  int64_t serial_ = 0;
};

}  // namespace

GeneratedLedger generateLedger(Ledger& ledger, const GeneratorOptions& options) {
  return Generator(ledger, options).run();
}

}  // namespace varnel::bench
