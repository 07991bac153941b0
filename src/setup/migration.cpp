#include "setup/migration.h"

#include <chrono>

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include "ledger/category_repository.h"
#include "ledger/memo_repository.h"
#include "ledger/tag_repository.h"
#include "model/base_repository.h"
#include "model/etc_repository.h"
#include "model/safety_copy.h"
#include "model/text.h"
#include "setup/migration_repairs.h"
#include "setup/migration_support.h"
#include "setup/older_model.h"

namespace varnel {

namespace {

using namespace migration_detail;

constexpr const char* kPropertyMigrationShowMessage = "PropertyMigrationShowMessage";
constexpr const char* kAssetIsDelIsReflectFix = "assetIsDelIsReflectFix";

// Adds an operation's count to the step, or returns its failure.
#define VARNEL_STEP_OPERATION(step, name, expr)        \
  do {                                                 \
    auto varnelResult_ = (expr);                       \
    if (!varnelResult_) return varnelResult_.status(); \
    (step).changes.emplace_back((name), *varnelResult_); \
  } while (false)

// Every settings record carries the text key of its kind; records of older
// layouts were written without one. Keys derive from kinds on every device,
// so they are written without a stamp.
Result<int> etcKeyFix(Ledger& ledger) {
  Store& store = ledger.store();
  return repairInTransaction(ledger, "etcKeyFix", [&](int& changed) -> Status {
    std::string keyed;
    for (const auto& [kind, key] : EtcRepository::keyedKinds()) {
      keyed += (keyed.empty() ? "" : ", ") + std::to_string(kind);
      changed += execute(store,
                         "UPDATE ZETC SET ZDATAYTYPEKEY = ? WHERE ZDATATYPE = ? "
                         "AND (ZDATAYTYPEKEY IS NULL OR ZDATAYTYPEKEY != ?)",
                         key, kind, key);
    }
    changed += execute(store, "UPDATE ZETC SET ZDATAYTYPEKEY = '' WHERE ZDATAYTYPEKEY IS NULL AND (ZDATATYPE IS NULL "
                              "OR ZDATATYPE NOT IN (" + keyed + "))");
    return Status::ok();
  });
}

// Step 3 (and 6): identifiers and links of the older model, then the
// transaction and account repairs. `flagsDue` runs the once-per-device move
// of the older account flags.
Status identifierMigration(Ledger& ledger, MigrationStep& step, bool flagsDue) {
  VARNEL_STEP_OPERATION(step, "giveMissingIdentifiers", giveMissingIdentifiers(ledger));
  VARNEL_STEP_OPERATION(step, "rewriteOlderLinks", rewriteOlderLinks(ledger));
  VARNEL_STEP_OPERATION(step, "etcKeyFix", etcKeyFix(ledger));
  VARNEL_STEP_OPERATION(step, "inOutComeUidFix", inOutComeUidFix(ledger));
  VARNEL_STEP_OPERATION(step, "assetUidFix", assetUidFix(ledger));
  VARNEL_STEP_OPERATION(step, "fixMoveInOutComeData2192", fixMoveInOutComeData2192(ledger));
  VARNEL_STEP_OPERATION(step, "inOutComeTransToAssetUidFix", inOutComeTransToAssetUidFix(ledger));
  VARNEL_STEP_OPERATION(step, "inOutComeTransDoTypeFix", inOutComeTransDoTypeFix(ledger));
  VARNEL_STEP_OPERATION(step, "accountsWithoutGroupFix", accountsWithoutGroupFix(ledger));
  if (flagsDue) VARNEL_STEP_OPERATION(step, kAssetIsDelIsReflectFix, assetIsDelIsReflectFix(ledger));
  return Status::ok();
}

bool otherPlatformConversionRan(Ledger& ledger) {
  auto flag = EtcRepository(ledger).getEtcUserSettingByType(etc_kind::kAndroid2192);
  return flag && flag->Data && trimmed(*flag->Data) == "1";
}

// Records of the pseudo-categories "-2" and "-4" stand for no category.
Result<int> removePseudoCategoryRecords(Ledger& ledger) {
  const int stored =
      ledger.store().db().execAndGet("SELECT COUNT(*) FROM ZCATEGORY WHERE ZUID IN ('-2', '-4')").getInt();
  if (stored == 0) return 0;
  VARNEL_RETURN_IF_ERROR(CategoryRepository(ledger).removeUnCategoryBalanceModificationCategory());
  return stored;
}

// The two system tags, each created when missing (a ledger that kept its own
// tags but lost one of these still gets it back).
Result<int> ensureSystemTags(Ledger& ledger) {
  TagRepository tags(ledger);
  const std::pair<const char*, const char*> kSystemTags[] = {
      {tag_code::kCardUsageException, "tag_card_usage_exception"},
      {tag_code::kPrepayment, "tag_prepayment"},
  };
  std::vector<Tag> missing;
  for (const auto& [uid, nameKey] : kSystemTags) {
    if (tags.dataByUid<Tag>(uid)) continue;
    Tag tag = tags.newObjectForEntity<Tag>(uid);
    tag.name = ledger.texts().text(nameKey);
    tag.isDel = 0;
    missing.push_back(std::move(tag));
  }
  if (missing.empty()) return 0;
  Status saved = tags.inTransaction([&]() -> Status {
    int64_t order = tags.nextAvailble<Tag>("orderSeq");
    for (Tag& tag : missing) tag.orderSeq = order++;
    return tags.saveAll(missing, "saveBasicTag", true);
  }, "saveBasicTag");
  if (!saved) return saved;
  ledger.log().info("saveBasicTag isSuccess");
  return static_cast<int>(missing.size());
}

}  // namespace

int MigrationStep::changed() const {
  int total = 0;
  for (const auto& [name, count] : changes) total += count;
  return total;
}

Result<MigrationReport> doMigration(Ledger& ledger, const MigrationOptions& options) {
  // Elapsed time of the work for the log, not a date of the ledger: taken
  // from the monotonic clock, not the environment's (fixed) "now".
  const auto started = std::chrono::steady_clock::now();
  EtcRepository etc(ledger);
  MigrationReport report;
  const int v = etc.getDBVersion();
  report.dataVersionBefore = v;
  report.migrated = true;

  // Runs one step in one transaction, recording the data version `brings`
  // the ledger to (when it has one) with the step's changes. A step is
  // skipped when the ledger has reached `doneAt` meanwhile (another process
  // ran it).
  auto run = [&](int number, const char* name, int doneAt, std::optional<int> brings,
                 const std::function<Status(MigrationStep&)>& body) -> Status {
    if (options.progress) options.progress(number, name);
    MigrationStep step{number, name, {}};
    bool done = false;
    BaseRepository repo(ledger);
    Status ok = repo.inTransaction([&]() -> Status {
      try {
        if (etc.getDBVersion() >= doneAt) {
          done = true;
          return Status::ok();
        }
        VARNEL_RETURN_IF_ERROR(body(step));
        if (brings) {
          VARNEL_RETURN_IF_ERROR(etc.updateEtcUserSettingByType(etc_kind::kDbVersion, std::to_string(*brings)));
        }
        return Status::ok();
      } catch (const SQLite::Exception&) {
        throw;  // inTransaction reports it
      } catch (const std::exception& e) {
        // Whatever stops a step (a read that failed, a record the rules
        // refuse) rolls it back and is reported as the migration's failure.
        return Status::storeFailure(e.what());
      }
    }, "_doMigration");
    // A step rolled back must not leave its changes in the caches either.
    ledger.commonData().ReloadTheData();
    if (!ok) {
      ledger.log().error("_doMigration step {} ({}) failed: {}", number, name, ok.message());
      return ok.withContext(fmt::format("migration step {} ({})", number, name));
    }
    if (done) {
      ledger.log().info("_doMigration step {} ({}) was completed by another process", number, name);
      return Status::ok();
    }
    ledger.log().info("_doMigration step {} ({}): {} records", number, name, step.changed());
    report.steps.push_back(std::move(step));
    return Status::ok();
  };

  if (v < 2190) {
    VARNEL_RETURN_IF_ERROR(run(1, "one-category and currency migration", 2190, 2190, [&](MigrationStep& step) -> Status {
      VARNEL_STEP_OPERATION(step, "oneCategoryMigration", oneCategoryMigration(ledger));
      VARNEL_STEP_OPERATION(step, "currencyMigration", currencyMigration(ledger));
      return Status::ok();
    }));
  }
  if (v < 2191) {
    VARNEL_RETURN_IF_ERROR(run(2, "memos from older key/value records", 2191, 2191, [&](MigrationStep& step) -> Status {
      VARNEL_STEP_OPERATION(step, "migrationPropertyToMemo", MemoRepository(ledger).migrationPropertyToMemo());
      return Status::ok();
    }));
    if (!report.steps.empty() && report.steps.back().number == 2 &&
        !ledger.preferences().setString(kPropertyMigrationShowMessage, "1")) {
      ledger.log().warn("cannot write the device preference {}", kPropertyMigrationShowMessage);
    }
  }
  if (v < 2192) {
    const bool flagsDue = ledger.preferences().getString(kAssetIsDelIsReflectFix).value_or("") != "1";
    VARNEL_RETURN_IF_ERROR(run(3, "identifier migration and repairs", 2192, 2192, [&](MigrationStep& step) -> Status {
      VARNEL_RETURN_IF_ERROR(identifierMigration(ledger, step, flagsDue));
      return etc.updateEtcUserSettingByType(etc_kind::kMigration2192Version, VARNEL_VERSION);
    }));
    if (flagsDue && !report.steps.empty() && report.steps.back().number == 3 &&
        !ledger.preferences().setString(kAssetIsDelIsReflectFix, "1")) {
      ledger.log().warn("cannot write the device preference {}", kAssetIsDelIsReflectFix);
    }
  }
  if (options.progress) options.progress(4, "caches reloaded");
  ledger.commonData().ReloadTheData();
  report.steps.push_back({4, "caches reloaded", {}});
  if (v < 2193) {
    VARNEL_RETURN_IF_ERROR(run(5, "message rules, photos, amounts and instalments", 2193, 2193,
                               [&](MigrationStep& step) -> Status {
      VARNEL_STEP_OPERATION(step, "messageMacroAccountFix", messageMacroAccountFix(ledger));
      VARNEL_STEP_OPERATION(step, "photoInOutComeAidFix", photoInOutComeAidFix(ledger));
      auto amounts = fixAmountMainCurrencyEqual(ledger);
      if (!amounts) return amounts.status();
      step.changes.emplace_back("fixAmountMainCurrencyEqual", amounts->changes());
      VARNEL_STEP_OPERATION(step, "installMentFix", installMentFix(ledger));
      return Status::ok();
    }));
  }
  if (v < kCurrentDataVersion && !otherPlatformConversionRan(ledger)) {
    // Idempotent: it records no version of its own, and a crash after it
    // runs it again with step 7.
    VARNEL_RETURN_IF_ERROR(run(6, "identifier migration once more", kCurrentDataVersion, std::nullopt,
                               [&](MigrationStep& step) -> Status {
      return identifierMigration(ledger, step, false);
    }));
  }
  if (v < kCurrentDataVersion) {
    VARNEL_RETURN_IF_ERROR(run(7, "account migration", kCurrentDataVersion, kCurrentDataVersion, [&](MigrationStep& step) -> Status {
      VARNEL_STEP_OPERATION(step, "migration2194Accounts", migration2194Accounts(ledger));
      return Status::ok();
    }));
  }
  // Step 7 recorded "2194" with its changes; a ledger already at a newer
  // version keeps it.
  if (options.progress) options.progress(8, "data version");
  report.dataVersionAfter = etc.getDBVersion();
  report.steps.push_back({8, "data version " + std::to_string(report.dataVersionAfter), {}});
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  ledger.log().info("_doMigration methods: Time to complete: {:g}", seconds);
  return report;
}

Result<MigrationReport> versionCheckForMigration(Ledger& ledger, const MigrationOptions& options) {
  auto removed = removePseudoCategoryRecords(ledger);
  if (!removed) return removed.status();
  EtcRepository etc(ledger);
  VARNEL_RETURN_IF_ERROR(etc.checkDBVersion());
  auto tags = ensureSystemTags(ledger);
  if (!tags) return tags.status();

  MigrationReport report;
  report.pseudoCategoryRecordsRemoved = removed.value();
  report.systemTagsMade = tags.value();
  report.dataVersionBefore = etc.getDBVersion();
  report.dataVersionAfter = report.dataVersionBefore;
  if (report.dataVersionBefore >= kCurrentDataVersion) return report;

  ledger.log().info("versionCheckForMigration: data version {} is below {}", report.dataVersionBefore,
                    kCurrentDataVersion);
  auto copy = backupDataBeforeMigration(ledger.env(), ledger.log(), ledger.store().path(),
                                        SafetyCopyReason::kBeforeMigration,
                                        std::to_string(report.dataVersionBefore));
  // The migrations rewrite much of the ledger: without a copy of it as it
  // was, they do not run.
  if (!copy) return copy.status().withContext("the ledger was not migrated");
  auto migrated = doMigration(ledger, options);
  if (!migrated) {
    return Status::storeFailure(migrated.status().message() + "; the ledger is left at data version " +
                                std::to_string(etc.getDBVersion()) + " and its copy before the migration is " +
                                copy.value().string());
  }
  MigrationReport result = std::move(migrated).value();
  result.pseudoCategoryRecordsRemoved = report.pseudoCategoryRecordsRemoved;
  result.systemTagsMade = report.systemTagsMade;
  result.safetyCopy = copy.value();
  return result;
}

}  // namespace varnel
