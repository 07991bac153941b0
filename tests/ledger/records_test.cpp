#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>

#include <gtest/gtest.h>
#include <jpeglib.h>
#include <nlohmann/json.hpp>

#include "ledger/fav_repository.h"
#include "ledger/memo_repository.h"
#include "ledger/photo_store.h"
#include "ledger/tag_repository.h"
#include "model/errors.h"
#include "support/test_jpeg.h"
#include "support/test_ledger.h"

namespace varnel {
namespace {

using testing::LedgerTest;
using testing::makeJpeg;

// ---------------------------------------------------------------- tags

class TagTest : public LedgerTest {
 protected:
  InOutCome savedTx() {
    BaseRepository repo(*ledger_);
    InOutCome tx = repo.newObjectForEntity<InOutCome>();
    tx.Do_Type = "1";
    EXPECT_TRUE(repo.save(tx, "updateInOutCome"));
    return tx;
  }
};

TEST_F(TagTest, SystemTagsAreMadeOnceInTheLedgersLanguage) {
  TagRepository tags(*ledger_);
  ASSERT_TRUE(tags.initTag());
  auto list = tags.tagList();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].uid, "system_card_usage_exception");
  EXPECT_EQ(list[0].name, ledger_->texts().text("tag_card_usage_exception"));
  EXPECT_EQ(list[1].uid, "system_prepayment");
  EXPECT_EQ(list[1].name, "선결제");
  EXPECT_EQ(list[1].isDel, 0);
  EXPECT_NE(logText().find("saveBasicTag isSuccess"), std::string::npos);
  ASSERT_TRUE(tags.initTag());
  EXPECT_EQ(tags.tagList().size(), 2u);
}

TEST_F(TagTest, LinksAreRevivedNotDuplicated) {
  TagRepository tags(*ledger_);
  EXPECT_TRUE(tags.initTag());
  const Tag prepayment = *tags.tagByUid("system_prepayment");
  const InOutCome tx = savedTx();

  auto first = tags.addTxTag(prepayment, tx);
  auto second = tags.addTxTag(prepayment, tx);
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->uid, second->uid);
  EXPECT_EQ(tags.txTagList().size(), 1u);
  EXPECT_EQ(first->objName, "tx");
  EXPECT_EQ(first->tag, prepayment.pk);
  EXPECT_EQ(first->tx, tx.pk);
  EXPECT_TRUE(tags.isPrepayment(*tx.uid));
  EXPECT_FALSE(tags.isCardUsageException(*tx.uid));
  EXPECT_NE(logText().find("addTxTag seccess"), std::string::npos);

  ASSERT_TRUE(tags.removeTxTag(prepayment, tx));
  EXPECT_FALSE(tags.isPrepayment(*tx.uid));
  EXPECT_EQ(tags.txTag("system_prepayment", *tx.uid)->isDel, 1);
  auto revived = tags.addTxTag(prepayment, tx);
  ASSERT_TRUE(revived);
  EXPECT_EQ(revived->uid, first->uid);
  EXPECT_EQ(revived->isDel, 0);
  EXPECT_EQ(revived->isSynced, 1);
  EXPECT_EQ(tags.txTagList().size(), 1u);

  Tag unsaved;
  EXPECT_THROW(tags.addTxTag(unsaved, tx), InputError);
}

TEST_F(TagTest, ChosenTagsReplaceTheLinkedOnes) {
  TagRepository tags(*ledger_);
  EXPECT_TRUE(tags.initTag());
  const InOutCome tx = savedTx();
  ASSERT_TRUE(tags.updateTxTags(tx, {"system_prepayment", "no-such-tag"}));
  ASSERT_EQ(tags.tagListOfTx(*tx.uid).size(), 1u);
  ASSERT_TRUE(tags.updateTxTags(tx, {"system_card_usage_exception", "system_prepayment"}));
  auto linked = tags.tagListOfTx(*tx.uid);
  ASSERT_EQ(linked.size(), 2u);
  EXPECT_EQ(linked[0].uid, "system_card_usage_exception");  // by the tag's orderSeq
  ASSERT_TRUE(tags.updateTxTags(tx, {"system_card_usage_exception"}));
  EXPECT_FALSE(tags.isPrepayment(*tx.uid));
  EXPECT_TRUE(tags.isCardUsageException(*tx.uid));
  EXPECT_EQ(tags.txTagList().size(), 2u);  // the removed link stays, deleted
  ASSERT_TRUE(tags.deleteAllTxTagList());
  EXPECT_TRUE(tags.txTagList().empty());
}

// ---------------------------------------------------------------- memos

class MemoTest : public LedgerTest {
 protected:
  int64_t localMs(int y, int mo, int d, int h, int mi, int s = 0) {
    return storeSecondsToMs(ledger_->env().dates().fromLocal(y, mo, d, h, mi, s));
  }
  Memo add(const std::string& title, const std::string& content, int64_t ms) {
    auto memo = MemoRepository(*ledger_).addMemo(title, content, ms);
    EXPECT_TRUE(memo);
    return *memo;
  }
  static std::vector<std::string> titles(const std::vector<Memo>& memos) {
    std::vector<std::string> out;
    for (const auto& m : memos) out.push_back(m.title.value_or(""));
    return out;
  }
};

TEST_F(MemoTest, DayWindowIncludesTheWholeEndDayAndNothingAfter) {
  add("before", "", localMs(2026, 12, 9, 23, 59, 59));
  add("first second", "", localMs(2026, 12, 10, 0, 0));
  add("last minute", "", localMs(2026, 12, 10, 23, 59));
  add("next day", "", localMs(2026, 12, 11, 0, 0));
  MemoRepository memos(*ledger_);
  // Any time of the day names the day.
  const double day = ledger_->env().dates().fromLocal(2026, 12, 10, 15, 30);
  EXPECT_EQ(titles(memos.listWithStartEndDate(day, day)),
            (std::vector<std::string>{"last minute", "first second"}));
  const double nextDay = ledger_->env().dates().fromLocal(2026, 12, 11, 0, 0);
  EXPECT_EQ(memos.listWithStartEndDate(day, nextDay).size(), 3u);
}

TEST_F(MemoTest, PinConditionsAndPinnedOrder) {
  MemoRepository memos(*ledger_);
  Memo a = add("a", "", localMs(2026, 12, 10, 8, 0));
  Memo b = add("b", "", localMs(2026, 12, 10, 9, 0));
  Memo c = add("c", "", localMs(2026, 12, 10, 10, 0));
  // A memo whose pin flag was never written counts as unpinned.
  c.pinned.reset();
  ASSERT_TRUE(memos.save(c, "updateMemo"));
  ledger_->env().setNow(ledger_->env().nowMs() + 1000);
  ASSERT_TRUE(memos.pinMemo(b, true));
  ledger_->env().setNow(ledger_->env().nowMs() + 1000);
  ASSERT_TRUE(memos.pinMemo(a, true));
  EXPECT_EQ(a.isSynced, 1);

  const double day = ledger_->env().dates().fromLocal(2026, 12, 10);
  EXPECT_EQ(titles(memos.listWithStartEndDate(day, day, memo_list::kUnpinned, "")),
            (std::vector<std::string>{"c"}));
  EXPECT_EQ(titles(memos.listWithStartEndDate(day, day, memo_list::kPinned, "")),
            (std::vector<std::string>{"b", "a"}));
  EXPECT_EQ(titles(memos.listPinned()), (std::vector<std::string>{"a", "b"}));  // last pinned first
  ASSERT_TRUE(memos.pinMemo(a, false));
  EXPECT_EQ(titles(memos.listPinned()), (std::vector<std::string>{"b"}));
  EXPECT_EQ(titles(memos.listAll()), (std::vector<std::string>{"a", "b", "c"}));  // by orderSeq
}

TEST_F(MemoTest, SearchIgnoresCaseAndAccentsAndOnlyNarrows) {
  MemoRepository memos(*ledger_);
  add("Café receipt", "", localMs(2026, 12, 10, 9, 0));
  add("Groceries", "bought CRÈME fraîche", localMs(2026, 12, 10, 10, 0));
  Memo gone = add("cafe deleted", "", localMs(2026, 12, 10, 11, 0));
  ASSERT_TRUE(memos.deleteMemo(gone));
  add("café next month", "", localMs(2027, 1, 10, 9, 0));

  const double day = ledger_->env().dates().fromLocal(2026, 12, 10);
  struct Case {
    std::string search;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"cafe", {"Café receipt"}},
      {"CAFÉ", {"Café receipt"}},
      {"creme", {"Groceries"}},
      {"FRAICHE", {"Groceries"}},
      {"tea", {}},
      {"", {"Groceries", "Café receipt"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(titles(memos.listWithStartEndDate(day, day, memo_list::kAny, c.search)), c.expected)
        << c.search;
  }
  EXPECT_EQ(memos.listAll("cafe").size(), 2u);  // any date, never the deleted one
  EXPECT_TRUE(memos.listPinned("cafe").empty());
}

TEST_F(MemoTest, SavingStampsAndEmptyMemosAreRefused) {
  MemoRepository memos(*ledger_);
  Memo m = add("t", "", ledger_->env().nowMs());
  EXPECT_EQ(m.memoDate, "2026-12-10");
  EXPECT_EQ(m.utime, ledger_->env().nowMs());
  EXPECT_EQ(m.isSynced, 1);
  EXPECT_EQ(m.isDel, 0);
  EXPECT_EQ(m.orderSeq, 1);
  m.title = "changed";
  ASSERT_TRUE(memos.updateMemo(m, false, false));
  EXPECT_EQ(memos.memoWithUid(*m.uid)->title, "changed");
  EXPECT_THROW(memos.addMemo("  ", "", 0), InputError);
  EXPECT_EQ(memos.listAll().size(), 1u);
}

TEST_F(MemoTest, EditsChangeTheGivenFieldsAndRefuseWhatCannotBeKept) {
  MemoRepository memos(*ledger_);
  const Memo m = add("Rent", "before the 25th", ledger_->env().nowMs());
  ledger_->env().setNow(ledger_->env().nowMs() + 60'000);
  struct Case {
    MemoRepository::MemoEdit edit;
    std::optional<std::string> title, content, color;  // after the edit; title none: refused
  } cases[] = {
      {{"Rent!", std::nullopt, std::nullopt}, "Rent!", "before the 25th", std::nullopt},
      {{std::nullopt, "", "#ffcc00"}, "Rent!", "", "#FFCC00"},
      {{std::nullopt, std::nullopt, "#80ffcc00"}, "Rent!", "", "#80FFCC00"},
      {{std::nullopt, std::nullopt, ""}, "Rent!", "", std::nullopt},
      {{" ", std::nullopt, std::nullopt}, std::nullopt, {}, {}},   // nothing left in it
      {{std::nullopt, std::nullopt, "yellow"}, std::nullopt, {}, {}},
      {{std::nullopt, std::nullopt, "#FFCC0"}, std::nullopt, {}, {}},
      {{std::nullopt, std::nullopt, "#GGCC00"}, std::nullopt, {}, {}},
  };
  for (const Case& c : cases) {
    const Memo before = *memos.memoWithUid(*m.uid);
    if (!c.title) {
      EXPECT_THROW((void)memos.editMemo(*m.uid, c.edit), InputError);
      const Memo after = *memos.memoWithUid(*m.uid);
      EXPECT_EQ(after.title, before.title);
      EXPECT_EQ(after.color, before.color);
      continue;
    }
    const Memo saved = memos.editMemo(*m.uid, c.edit).value();
    const Memo stored = *memos.memoWithUid(*m.uid);
    EXPECT_EQ(stored.title, c.title);
    EXPECT_EQ(stored.content, c.content);
    EXPECT_EQ(stored.color, c.color);
    EXPECT_EQ(stored.utime, ledger_->env().nowMs());
    EXPECT_EQ(stored.memoTime, m.memoTime);
    EXPECT_EQ(saved.color, stored.color);
  }
  Memo gone = *memos.memoWithUid(*m.uid);
  ASSERT_TRUE(memos.deleteMemo(gone));
  EXPECT_THROW((void)memos.editMemo(*m.uid, {"x", std::nullopt, std::nullopt}), InputError);
  EXPECT_THROW((void)memos.editMemo("NO-SUCH-MEMO", {"x", std::nullopt, std::nullopt}), InputError);
}

TEST_F(MemoTest, OlderKeyValueMemosMoveOnce) {
  BaseRepository base(*ledger_);
  auto property = [&](const std::string& type, const std::string& key, const std::string& value) {
    Property p = base.newObjectForEntity<Property>();
    p.type = type;
    p.key = key;
    p.value = value;
    ASSERT_TRUE(base.save(p, "property"));
  };
  property("MEMO", "20240105", "pay the rent");
  property("MEMO", "not a day", "keep me");
  property("OTHER", "20240105", "not a memo");
  MemoRepository memos(*ledger_);
  EXPECT_EQ(memos.migrationPropertyToMemo().value(), 2);
  EXPECT_EQ(memos.migrationPropertyToMemo().value(), 0);
  auto all = memos.listAll();
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].memoDate, "2024-01-05");
  EXPECT_EQ(all[0].content, "pay the rent");
  EXPECT_EQ(all[0].memoTime, localMs(2024, 1, 5, 0, 0));
  EXPECT_EQ(all[1].content, "keep me");
  EXPECT_EQ(all[1].memoDate, "2026-12-10");
}

// ---------------------------------------------------------------- favourites

class FavTest : public LedgerTest {};

TEST_F(FavTest, SavingTheSameFavouriteTwiceKeepsOneRecord) {
  FavRepository favs(*ledger_);
  struct Case {
    const char* kind;
    std::optional<std::string> category;
    std::optional<std::string> toAsset;
  };
  // Income, expense, both transfer sides and both balance adjustments.
  const Case cases[] = {{"0", "C1", std::nullopt}, {"1", "C2", std::nullopt},
                        {"3", std::nullopt, "A2"}, {"4", std::nullopt, "A3"},
                        {"7", "-4", std::nullopt}, {"8", "-4", std::nullopt}};
  for (const Case& c : cases) {
    InOutCome tx;
    tx.Do_Type = c.kind;
    tx.assetUid = "A1";
    tx.categoryUid = c.category;
    tx.toAssetUid = c.toAsset;
    tx.amountSub = 12.5;
    tx.currencyUid = "KRW";
    tx.Content = "Shop";  // memo stays null: null must equal null
    tx.mark = 3;
    const FavTemplate t = FavTemplate::fromTransaction(tx);
    auto first = favs.saveFavorite(t);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->second, "inout_edit_message3");
    FavTransaction f = first->first;
    ASSERT_TRUE(favs.deleteFav(f));
    auto second = favs.saveFavorite(t);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->first.uid, first->first.uid) << c.kind;
    EXPECT_EQ(second->first.isDel, 0);
    EXPECT_EQ(second->first.mark, 3);
  }
  EXPECT_EQ(favs.getListAll().size(), std::size(cases));
  EXPECT_EQ(favs.getListLive().size(), std::size(cases));
}

TEST_F(FavTest, EqualityDependsOnTheKind) {
  FavRepository favs(*ledger_);
  FavTemplate transfer;
  transfer.doType = 3;
  transfer.assetUid = "A1";
  transfer.toAssetUid = "A2";
  transfer.amountSub = 100;
  transfer.payee = "Move";
  ASSERT_TRUE(favs.saveFavorite(transfer));

  FavTemplate probe = transfer;
  probe.doType = 2;  // the screen's transfer mode finds the "3" favourite
  probe.categoryUid = "ignored for transfers";
  EXPECT_TRUE(favs.favoriteObjAlready(probe));
  probe.toAssetUid = "A9";
  EXPECT_FALSE(favs.favoriteObjAlready(probe));
  probe = transfer;
  probe.amountSub = 100.5;
  EXPECT_FALSE(favs.favoriteObjAlready(probe));
  probe = transfer;
  probe.doType = 1;  // compared by category, which the transfer favourite lacks
  EXPECT_TRUE(favs.favoriteObjAlready(probe));
  probe.categoryUid = "C1";
  EXPECT_FALSE(favs.favoriteObjAlready(probe));
  probe = transfer;
  probe.doType = 6;  // other kinds need neither category nor target
  EXPECT_FALSE(favs.favoriteObjAlready(probe));

  EXPECT_FALSE(favs.getFavByUId("0"));
  ASSERT_TRUE(favs.deleteAll());
  EXPECT_TRUE(favs.getListAll().empty());
}

TEST_F(FavTest, ATransferIsSavedFromItsSendingSideAndDeletionIsChecked) {
  BaseRepository repo(*ledger_);
  auto tx = [&](const char* uid, const char* kind, const char* account, const char* to, int isDel) {
    InOutCome t = repo.newObjectForEntity<InOutCome>(uid);
    t.Do_Type = kind;
    t.assetUid = account;
    if (to) t.toAssetUid = to;
    t.txUidTrans = "LINK";
    t.amountSub = 100;
    t.Content = "Savings";
    t.isDel = isDel;
    EXPECT_TRUE(repo.save(t, "updateInOutCome"));
  };
  tx("OUT", "3", "BANK", "SAVE", 0);
  tx("IN", "4", "SAVE", "BANK", 0);
  tx("GONE", "1", "BANK", nullptr, 1);
  FavRepository favs(*ledger_);
  const FavTransaction fromIn = favs.saveFavoriteFromTransaction("IN")->first;
  EXPECT_EQ(fromIn.doType, 3);
  EXPECT_EQ(fromIn.assetUid, "BANK");
  EXPECT_EQ(fromIn.toAssetUid, "SAVE");
  EXPECT_EQ(favs.saveFavoriteFromTransaction("OUT")->first.uid, fromIn.uid);  // the same template
  EXPECT_THROW((void)favs.saveFavoriteFromTransaction("GONE"), InputError);
  EXPECT_THROW((void)favs.saveFavoriteFromTransaction("NONE"), InputError);

  EXPECT_EQ(favs.deleteFavByUid(*fromIn.uid)->isDel, 1);
  EXPECT_TRUE(favs.getListLive().empty());
  EXPECT_THROW((void)favs.deleteFavByUid(*fromIn.uid), InputError);
  EXPECT_EQ(favs.saveFavoriteFromTransaction("OUT")->first.uid, fromIn.uid);  // revived
}

// ---------------------------------------------------------------- photos

// The payloads of the APP1 (EXIF) markers of a JPEG.
std::vector<std::string> app1Markers(const std::string& data) {
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(data.data()), data.size());
  jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xFFFF);
  jpeg_read_header(&cinfo, TRUE);
  std::vector<std::string> out;
  for (auto m = cinfo.marker_list; m; m = m->next) {
    out.emplace_back(reinterpret_cast<const char*>(m->data), m->data_length);
  }
  jpeg_destroy_decompress(&cinfo);
  return out;
}

std::string slurp(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

class PhotoTest : public LedgerTest {
 protected:
  PhotoInput input(std::string data, int order = 0) {
    PhotoInput in;
    in.data = std::move(data);
    in.order = order;
    return in;
  }
};

TEST_F(PhotoTest, Md5OfKnownData) {
  const std::pair<std::string, std::string> cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"The quick brown fox jumps over the lazy dog", "9e107d9d372bb6826bd81d3542a419d6"},
  };
  for (const auto& [data, digest] : cases) EXPECT_EQ(PhotoStore::md5Hex(data), digest);
}

TEST_F(PhotoTest, LargeImageIsResizedAndRecordedWithItsChecksum) {
  PhotoStore photos(*ledger_);
  PhotoInput in = input(makeJpeg(3000, 1000), 2);
  in.orgFileName = R"({"source":"camera","order":9})";
  in.orgFilePath = "/camera/IMG_0001.JPG";
  auto stored = photos.addPhoto(in, "TX1", false);
  ASSERT_TRUE(stored);
  const Photo& p = stored->photo;
  EXPECT_TRUE(std::regex_match(*p.fileName, std::regex("^[0-9a-f-]{36}\\.jpg$"))) << *p.fileName;
  EXPECT_EQ(p.filePath, "Documents/Varnel/" + *p.fileName);
  EXPECT_EQ(p.txUid, "TX1");
  EXPECT_EQ(p.orgFilePath, "/camera/IMG_0001.JPG");

  const auto path = photos.photoFolder() / *p.fileName;
  const std::string bytes = slurp(path);
  const JpegSize size = PhotoStore::jpegSize(bytes);
  EXPECT_EQ(size.width, 2048);
  EXPECT_EQ(size.height, 683);
  EXPECT_EQ(p.fileSize, static_cast<int64_t>(bytes.size()));

  const auto json = nlohmann::json::parse(*p.orgFileName);
  EXPECT_EQ(json["source"], "camera");  // keys already present are kept
  EXPECT_EQ(json["order"], 2);
  EXPECT_EQ(json["checksum"], PhotoStore::md5Hex(bytes));
  EXPECT_EQ(json["ctime"], ledger_->env().nowMs());
  EXPECT_EQ(PhotoStore::photoChecksum(p), PhotoStore::md5Hex(bytes));
  EXPECT_TRUE(stored->sameChecksum.empty());

  // The same image again is stored again, and the earlier copy is reported.
  auto again = photos.addPhoto(input(makeJpeg(3000, 1000)), "TX2", false);
  ASSERT_TRUE(again);
  ASSERT_EQ(again->sameChecksum.size(), 1u);
  EXPECT_EQ(again->sameChecksum[0].uid, p.uid);
  EXPECT_NE(again->photo.fileName, p.fileName);
}

TEST_F(PhotoTest, SmallImageIsStoredAsItIs) {
  PhotoStore photos(*ledger_);
  const std::string original = makeJpeg(640, 480);
  auto stored = photos.addPhoto(input(original), "", false);
  ASSERT_TRUE(stored);
  EXPECT_EQ(slurp(photos.photoFolder() / *stored->photo.fileName), original);
  EXPECT_FALSE(stored->photo.txUid);
  // Resizing keeps the EXIF block, which carries the camera's orientation.
  const std::string exif = std::string("Exif\0\0", 6) + "orientation 6";
  EXPECT_EQ(app1Markers(PhotoStore::prepareImage(makeJpeg(2500, 100, 85, exif))),
            std::vector<std::string>{exif});
  // Portrait images are bounded by their height.
  const JpegSize tall = PhotoStore::jpegSize(PhotoStore::prepareImage(makeJpeg(1000, 3000)));
  EXPECT_EQ(tall.height, 2048);
  EXPECT_EQ(tall.width, 683);
}

TEST_F(PhotoTest, WhatIsNotAJpegIsRefusedBeforeAnythingIsWritten) {
  PhotoStore photos(*ledger_);
  const std::string jpeg = makeJpeg(300, 200);
  const std::string png = "\x89PNG\r\n\x1a\n" + std::string(64, '\0');
  const std::string cases[] = {
      "",
      "plain text, not an image",
      png,
      jpeg.substr(0, jpeg.size() / 2),  // cut short
      std::string("\xFF\xD8\xFF\xE0") + std::string(100, 'x'),
  };
  for (const std::string& data : cases) {
    EXPECT_THROW(photos.addPhoto(input(data), "TX", false), InputError) << data.size();
  }
  EXPECT_FALSE(std::filesystem::exists(photos.photoFolder()));
  EXPECT_EQ(photos.countPhoto("TX"), 0);
  EXPECT_TRUE(photos.fetch<Photo>("").empty());
}

TEST_F(PhotoTest, CopiesShareFilesAndDeletionKeepsSharedFiles) {
  PhotoStore photos(*ledger_);
  auto a = photos.addPhoto(input(makeJpeg(100, 100), 0), "SRC", false);
  ledger_->env().setNow(ledger_->env().nowMs() + 1000);
  auto b = photos.addPhoto(input(makeJpeg(120, 100), 1), "SRC", false);
  ASSERT_TRUE(a && b);
  auto old = photos.addPhoto(input(makeJpeg(50, 50)), "DST", false);
  ASSERT_TRUE(old);

  ASSERT_TRUE(photos.copyUpdatePhoto("SRC", "DST"));
  auto copies = photos.listPhoto("DST");
  ASSERT_EQ(copies.size(), 2u);
  EXPECT_EQ(copies[0].fileName, a->photo.fileName);
  EXPECT_EQ(copies[1].fileName, b->photo.fileName);
  EXPECT_EQ(copies[1].orgFileName, b->photo.orgFileName);
  EXPECT_EQ(PhotoStore::photoOrder(copies[1]), 1);
  EXPECT_NE(copies[0].uid, a->photo.uid);
  EXPECT_EQ(photos.countPhoto("DST"), 2);
  EXPECT_EQ(photos.getPhotoByUid(*old->photo.uid)->isDel, 1);

  // Copying onto itself must not lose the photos.
  ASSERT_TRUE(photos.copyUpdatePhoto("SRC", "SRC"));
  EXPECT_EQ(photos.countPhoto("SRC"), 2);

  ASSERT_TRUE(photos.deletePhotoByInOutCome("SRC"));
  EXPECT_EQ(photos.countPhoto("SRC"), 0);
  const auto fileA = photos.photoFolder() / *a->photo.fileName;
  EXPECT_TRUE(std::filesystem::exists(fileA));  // soft deletion keeps the file

  // Removing the source records keeps the files the copies still use.
  std::vector<Photo> deleted = {*photos.getPhotoByUid(*a->photo.uid), *photos.getPhotoByUid(*b->photo.uid)};
  ASSERT_TRUE(photos.deletePhotoByList(deleted));
  EXPECT_FALSE(photos.getPhotoByUid(*a->photo.uid));
  EXPECT_TRUE(std::filesystem::exists(fileA));
  ASSERT_TRUE(photos.deletePhotoByList(photos.listPhoto("DST")));
  EXPECT_FALSE(std::filesystem::exists(fileA));
}

TEST_F(PhotoTest, DeletionByFileNameAndUnreadableJson) {
  PhotoStore photos(*ledger_);
  auto a = photos.addPhoto(input(makeJpeg(80, 60)), "T", false);
  ASSERT_TRUE(a);
  EXPECT_EQ(photos.getListByFileName(*a->photo.fileName).size(), 1u);
  ASSERT_TRUE(photos.deletePhotoWithPhotoName(*a->photo.fileName));
  EXPECT_TRUE(photos.getListByFileName(*a->photo.fileName).empty());
  EXPECT_TRUE(photos.photoListWithCheckSum(PhotoStore::photoChecksum(a->photo)).empty());
  EXPECT_TRUE(photos.photoListWithCheckSum("").empty());

  Photo broken;
  broken.orgFileName = "{not json";
  EXPECT_EQ(PhotoStore::photoChecksum(broken), "");
  EXPECT_EQ(PhotoStore::photoCtime(broken), 0);
  broken.orgFileName = R"(["checksum"])";
  EXPECT_EQ(PhotoStore::photoChecksum(broken), "");
  // A record from elsewhere can never name a file outside the photo folder.
  broken.fileName = "../varnel.sqlite";
  EXPECT_FALSE(photos.photoPath(broken));
}

}  // namespace
}  // namespace varnel
