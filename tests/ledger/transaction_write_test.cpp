// What the save promises about its writes: a write the store refuses at any
// point leaves every row and photo file as it was and hands the caller the
// store's reason; the photos are read and decoded before anything is written,
// and stored once however many records show them.
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>

#include <sqlite3.h>

#include "ledger/photo_store.h"
#include "support/test_jpeg.h"
#include "tests/ledger/transaction_test_fixture.h"

namespace varnel::testing {
namespace {

class SaveWrite : public TransactionTest {
 protected:
  std::filesystem::path photoFile(const std::string& name, const std::string& bytes) {
    const auto path = dir_.path() / name;
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    return path;
  }

  std::string dumpTable(const std::string& table) {
    SQLite::Statement st(ledger_->store().db(), "SELECT * FROM " + table + " ORDER BY Z_PK");
    std::string out;
    while (st.executeStep()) {
      for (int i = 0; i < st.getColumnCount(); ++i) {
        const SQLite::Column column = st.getColumn(i);
        out += column.isNull() ? std::string("<null>") : column.getString();
        out += '|';
      }
      out += '\n';
    }
    return out;
  }

  std::set<std::string> photoFiles() {
    std::set<std::string> names;
    const auto folder = PhotoStore(*ledger_).photoFolder();
    if (!std::filesystem::exists(folder)) return names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  // Every row a save can touch, and the photo folder.
  std::string ledgerState() {
    std::string files;
    for (const auto& name : photoFiles()) files += name + "\n";
    return dumpTable("ZINOUTCOME") + dumpTable("ZPHOTO") + dumpTable("ZTXTAG") + files;
  }
};

TEST_F(SaveWrite, AWriteRefusedAtAnyPointLeavesTheLedgerAsItWasAndCarriesTheReason) {
  TransactionForm f = form(kModeTransfer, "WON", 1000, "WON2");
  f.fee = TransactionFee{100, ""};
  f.tags = {"system_prepayment"};
  f.photos = {photoFile("first.jpg", makeJpeg(40, 30))};
  const auto r = saved(f);
  ASSERT_TRUE(r.record && r.opposite && r.fee);
  const std::string out = *r.record->uid;
  const std::string in = *r.opposite->uid;
  const auto second = photoFile("second.jpg", makeJpeg(50, 30));

  TransactionSave saver(*ledger_);
  // An edit that changes everything a transfer has.
  auto edit = [&] {
    TransactionForm e = saver.formForRecord(out);
    e.amount = 2000;
    e.date = at(2026, 12, 3);
    e.tags = {"system_card_usage_exception"};
    e.photos = {second};
    e.fee->amount = 200;
    return e;
  };
  auto toExpense = [&] {
    TransactionForm e = saver.formForRecord(out);
    e.mode = kModeExpense;
    e.category = "FOOD";
    e.fee.reset();
    return e;
  };
  auto feeOff = [&] {
    TransactionForm e = saver.formForRecord(out);
    e.fee.reset();
    return e;
  };

  struct Case {
    const char* write;
    std::function<TransactionForm()> form;
    std::string when;  // what the store refuses
  };
  const std::vector<Case> cases = {
      {"the sending side", edit, "UPDATE ON ZINOUTCOME WHEN NEW.ZDO_TYPE = '3'"},
      {"the new photo", edit, "INSERT ON ZPHOTO WHEN NEW.ZTXUID IS NULL"},
      {"the new photo's link", edit, "UPDATE ON ZPHOTO WHEN NEW.ZTXUID = '" + out + "'"},
      {"the new tag link", edit, "INSERT ON ZTXTAG"},
      {"the tag link removed", edit, "UPDATE ON ZTXTAG WHEN NEW.ZISDEL = 1"},
      {"the receiving side", edit, "UPDATE ON ZINOUTCOME WHEN NEW.ZDO_TYPE = '4'"},
      {"the receiving side's photos", edit, "INSERT ON ZPHOTO WHEN NEW.ZTXUID = '" + in + "'"},
      {"the fee", edit, "UPDATE ON ZINOUTCOME WHEN NEW.ZDO_TYPE = '1'"},
      {"the receiving side dropped", toExpense, "UPDATE ON ZINOUTCOME WHEN NEW.ZDO_TYPE = '4' AND NEW.ZISDEL = 1"},
      {"the dropped side's photos", toExpense, "UPDATE ON ZPHOTO WHEN NEW.ZISDEL = 1"},
      {"the expense that was the sending side", toExpense, "UPDATE ON ZINOUTCOME WHEN NEW.ZDO_TYPE = '1' AND "
                                                           "NEW.ZUID = '" + out + "'"},
      {"the fee dropped", feeOff, "UPDATE ON ZINOUTCOME WHEN NEW.ZDO_TYPE = '1' AND NEW.ZISDEL = 1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.write);
    const std::string reason = std::string("refused ") + c.write;
    std::string quoted;
    for (char ch : reason) quoted += ch == '\'' ? std::string("''") : std::string(1, ch);
    ledger_->store().db().exec("CREATE TEMP TRIGGER refuse BEFORE " + c.when + " BEGIN SELECT RAISE(ABORT, '" +
                               quoted + "'); END");
    const std::string before = ledgerState();
    const TransactionSaveResult result = save(c.form());
    ledger_->store().db().exec("DROP TRIGGER refuse");
    EXPECT_FALSE(result.ok());
    EXPECT_FALSE(result.refusal);
    EXPECT_FALSE(result.record);
    EXPECT_EQ(result.status.code(), StatusCode::kStoreFailure);
    EXPECT_NE(result.status.message().find(reason), std::string::npos) << result.status.message();
    EXPECT_EQ(ledgerState(), before);
  }

  // Unrefused, the same edits go through.
  const std::vector<std::function<TransactionForm()>> unrefused = {edit, toExpense};
  for (const auto& make : unrefused) {
    const std::string before = ledgerState();
    EXPECT_TRUE(saved(make()).ok());
    EXPECT_NE(ledgerState(), before);
  }
}

// Replaces a file whenever the store begins a write transaction, standing for
// a photo changed on disk once the save has begun writing.
struct SwapOnWrite {
  std::filesystem::path file;
  std::string replacement;

  static int onStatement(unsigned type, void* context, void*, void* sql) {
    auto* swap = static_cast<SwapOnWrite*>(context);
    if (type == SQLITE_TRACE_STMT && std::strncmp(static_cast<const char*>(sql), "BEGIN IMMEDIATE", 15) == 0) {
      std::ofstream(swap->file, std::ios::binary | std::ios::trunc) << swap->replacement;
    }
    return 0;
  }
};

TEST_F(SaveWrite, EachPhotoIsDecodedBeforeWritingAndStoredOnceForEveryRecordShowingIt) {
  TransactionForm transfer = form(kModeTransfer, "WON", 1000, "WON2");
  transfer.fee = TransactionFee{100, ""};
  TransactionForm instalments = form(kModeExpense, "WON", 900);
  instalments.installments = 3;
  struct Case {
    const char* name;
    TransactionForm form;
    size_t showing;  // records that show the photo
  };
  const std::vector<Case> cases = {
      {"a transfer with a fee", transfer, 2},
      {"an instalment purchase", instalments, 3},
  };
  // Larger than what is stored, so the stored bytes are the decoded ones.
  const std::string original = makeJpeg(3000, 1000);
  const std::string expected = PhotoStore::md5Hex(PhotoStore::prepareImage(original));
  PhotoStore photos(*ledger_);
  sqlite3* db = ledger_->store().db().getHandle();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SwapOnWrite swap{photoFile("receipt.jpg", original), makeJpeg(64, 48)};
    TransactionForm f = c.form;
    f.photos = {swap.file};
    const std::set<std::string> filesBefore = photoFiles();
    sqlite3_trace_v2(db, SQLITE_TRACE_STMT, &SwapOnWrite::onStatement, &swap);
    const TransactionSaveResult r = save(f);
    sqlite3_trace_v2(db, 0, nullptr, nullptr);
    ASSERT_TRUE(r.ok()) << r.status.message();

    std::set<std::string> stored;
    size_t showing = 0;
    for (const InOutCome& record : r.records()) {
      if (r.fee && record.uid == r.fee->uid) {
        EXPECT_EQ(photos.countPhoto(*record.uid), 0);
        continue;
      }
      const std::vector<Photo> list = photos.listPhoto(*record.uid);
      ASSERT_EQ(list.size(), 1u);
      EXPECT_EQ(PhotoStore::photoChecksum(list[0]), expected);
      stored.insert(*list[0].fileName);
      ++showing;
    }
    EXPECT_EQ(showing, c.showing);
    ASSERT_EQ(stored.size(), 1u);
    const std::set<std::string> filesAfter = photoFiles();
    EXPECT_EQ(filesAfter.size(), filesBefore.size() + 1);
    std::ifstream in(photos.photoFolder() / *stored.begin(), std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    EXPECT_EQ(PhotoStore::md5Hex(bytes.str()), expected);
  }
}

}  // namespace
}  // namespace varnel::testing
