#include "setup/app_start.h"

#include <spdlog/spdlog.h>

#include "ledger/category_repository.h"
#include "setup/initial_data.h"

namespace varnel {

namespace {

constexpr const char* kPseudoRecords = " WHERE ZUID = '-2' OR ZUID = '-4'";

std::vector<Category> liveOrphans(CategoryRepository& repo) {
  std::vector<Category> out;
  for (Category& c : repo.getArraySubCategoryByNotParent()) {
    if (isLive(c)) out.push_back(std::move(c));
  }
  return out;
}

// The first live main category of the kind, by order; none for a kind with
// no main category.
std::optional<Category> firstMainCategory(CategoryRepository& repo, const Int& doType) {
  if (!doType) return std::nullopt;
  auto mains = repo.getMainCategoryByInOutType(static_cast<int>(*doType), false);
  if (mains.empty()) return std::nullopt;
  return mains.front();
}

}  // namespace

Result<LedgerStartReport> startLedger(Ledger& ledger, const MigrationOptions& migration) {
  LedgerStartReport report;
  auto wrote = settingDefaultData(ledger);
  VARNEL_RETURN_IF_ERROR(wrote.status());
  report.wroteDefaults = wrote.value();
  // Before the category repairs: a ledger of the older model gets its
  // sub-categories' parents from the older numbers first.
  auto migrated = versionCheckForMigration(ledger, migration);
  VARNEL_RETURN_IF_ERROR(migrated.status());
  report.migration = std::move(migrated).value();
  report.pseudoCategoryRecordsRemoved = report.migration.pseudoCategoryRecordsRemoved;

  CategoryRepository repo(ledger);
  // Looked at first, without the write lock: almost every open finds nothing.
  const bool due = !repo.listCategoryStatusException().empty() ||
                   !repo.fetch<Category>(kPseudoRecords).empty() || !liveOrphans(repo).empty();
  if (!due) return report;

  Status ok = repo.inTransaction([&]() -> Status {
    // Statuses first: a record stored with status 3 is a sub-category, and
    // only then can it be found without a parent.
    auto fixed = repo.fixCategoryStatus();
    VARNEL_RETURN_IF_ERROR(fixed.status());
    report.categoryStatusesFixed = fixed.value();
    const int pseudo = static_cast<int>(repo.fetch<Category>(kPseudoRecords).size());
    report.pseudoCategoryRecordsRemoved += pseudo;
    if (pseudo > 0) {
      VARNEL_RETURN_IF_ERROR(repo.removeUnCategoryBalanceModificationCategory());
    }
    for (Category& orphan : liveOrphans(repo)) {
      auto parent = firstMainCategory(repo, orphan.doType);
      if (!parent) {
        ledger.log().warn("sub-category {} has no parent and no main category of its kind to go under",
                          orphan.uid.value_or(""));
        continue;
      }
      VARNEL_RETURN_IF_ERROR(repo.updateSubCategoryByNotParent(orphan, *parent->uid));
      ++report.orphanedSubCategoriesAttached;
    }
    return Status::ok();
  }, "startLedger");
  // A failed transaction rolled the records back; the caches must follow.
  ledger.commonData().ReloadAppDataCategory();
  if (!ok) return ok;
  ledger.log().info("startLedger repaired categories: {} statuses, {} pseudo-category records, {} orphans",
                    report.categoryStatusesFixed, report.pseudoCategoryRecordsRemoved,
                    report.orphanedSubCategoriesAttached);
  return report;
}

Result<StartRoutineReport> runStartRoutine(Ledger& ledger) {
  StartRoutineReport report;
  CardRepository cards(ledger);
  RepeatTransactionRepository repeats(ledger);
  const bool paidToday = cards.autoPaymentRanToday();
  Status done = repeats.inTransaction([&]() -> Status {
    auto booked = repeats.repeatDataInputAll();
    VARNEL_RETURN_IF_ERROR(booked.status());
    report.repeats = std::move(booked).value();
    if (paidToday) {
      report.payments.alreadyRanToday = true;
      return Status::ok();
    }
    report.payments = cards.bookDueAutoPayments();
    return report.payments.status;
  }, "runStartRoutine");
  if (!done) return done;
  if (!paidToday) cards.recordAutoPaymentRun();
  return report;
}

MainCurrencyChange startOverWithMainCurrency(Ledger& ledger, const std::string& newIso) {
  CurrencyRepository repo(ledger);
  return repo.startOverWithMainCurrency(newIso, [&ledger]() -> Status {
    EasyInitDataMake make(ledger);
    VARNEL_RETURN_IF_ERROR(make.initAccGroupData());
    VARNEL_RETURN_IF_ERROR(make.ensureInitialAccountGroups());
    return make.initAsset();
  });
}

}  // namespace varnel
