// The nineteen record types of the ledger store. Each is a plain struct whose
// members carry the attribute names of the stored entity; `pk` is the row key
// (Z_PK), 0 for a record not yet in the store. Entity<T> gives the table name
// and the field list that store code uses to read and write the struct.
#pragma once

#include <string>
#include <vector>

#include "model/record.h"

namespace varnel {

struct InOutCome {
  int64_t pk = 0;
  Text uid;
  StoreDate Date;
  Text txDateStr;
  Text Do_Type;
  Text assetUid;
  Text toAssetUid;
  Text categoryUid;
  Text currencyUid;
  Real amountSub;
  Real amount;
  Real amountAccount;
  Text Content;
  Text memo;
  Int mark;
  Text txUidTrans;
  Text txUidFee;
  Text cardDivideMonth;
  Text cardDivideMonthStr;
  Text cardDivideUid;
  Text cardTimeStampStr;
  Text smsOrigine;
  Text smsParseContents;
  Text smsRDate;
  Text lat;
  Text lng;
  Text gstd;
  Text wtime;
  Text paid;
  Text zData1;
  Text zData2;
  // Fields of the older numeric-identifier model, carried through restore.
  Int aId;
  Int Asset_ID;
  Int Asset_Group;
  Text Asset_Name;
  Text Asset_Nic;
  Int Category_ID;
  Text Category_Name;
  Int categoryId;
  Int currencyId;
  Text currency;
  Text Money;
  Int OppositeAid;
  Int CardDividId;
  Int fee_ID;
  Int syncCheck;
  Int utime;
  Int isDel;
  Int isSynced;
  StoreDate syncTime;
  Int syncVersion;
};

struct Asset {
  int64_t pk = 0;
  Text uid;
  Text NicName;
  Text groupUid;
  Int Order;
  Text currencyUid;
  Text memo;
  Int isDel;
  Int isReflect;
  Int transferExpense;
  Text Card_DayFin;
  Text Card_DayPay;
  Text cardAssetUid;
  Int isCardAutoPay;
  Int card_usage_hurdle_type;
  Int card_usage_hurdle_start_date;
  Int card_usage_hurdle_amount;
  Text smsString;
  Text smsTel;
  Text appPackage;
  Text appName;
  Text Card_Account_Name;
  Text memoTitle;
  // Older numeric-identifier model, filled only by restore from older files.
  Int aId;
  Int Group_ID;
  Int Card_Account_ID;
  Int currencyId;
  Int utime;
  Int isSynced;
  StoreDate syncTime;
  Int syncVersion;
};

struct AssetGroup {
  int64_t pk = 0;
  Text uid;
  Text AssetGroupName;
  Int Status;
  Int Order;
  Int isDel;
  // Older numeric-identifier model, filled only by restore from older files.
  Int aId;
  Int utime;
  Int isSynced;
  StoreDate syncTime;
  Int syncVersion;
};

struct Category {
  int64_t pk = 0;
  Text uid;
  Text Name;
  Int doType;
  Text pUid;
  Int Status;
  Int Order;
  Int isDel;
  // Older numeric-identifier model, filled only by restore from older files.
  Int aId;
  Text zData;  // the parent category's numeric id
  Int utime;
  Int isSynced;
  StoreDate syncTime;
  Int syncVersion;
};

struct Currency {
  int64_t pk = 0;
  Text uid;
  Text iso;
  Text mainIso;
  Real rate;
  Text symbol;
  Text symbolPosition;
  Int point;
  Int isMainCurrency;
  Int isShow;
  Text insertType;
  Int orderSeq;
  Text memo;
  StoreDate modifyDate;
  // Older numeric-identifier model, filled only by restore from older files.
  Int aId;
  Int isDel;
  Int utime;
  Int isSynced;
  StoreDate syncTime;
  Int syncVersion;
};

struct Budget {
  int64_t pk = 0;
  Text uid;
  Text targetUid;
  Text doTypeStr;
  Int periodTypeInt;
  Int totalTypeInt;
  Int transTypeInt;
  Int order;
  // Older numeric-identifier model, filled only by restore from older files.
  Int aId;
  Int isDel;
  Int utime;
  Int isSynced;
  StoreDate syncTime;
  Int syncVersion;
};

struct BudgetAmount {
  int64_t pk = 0;
  Text uid;
  Text budgetUid;
  Int budgetPeriod;
  Real amount;
  // Older numeric-identifier model, filled only by restore from older files.
  Int aId;
  Int budgetId;
  Int isDel;
  Int utime;
  Int isSynced;
  StoreDate syncTime;
  Int syncVersion;
};

struct RepeatTransaction {
  int64_t pk = 0;
  Text uid;
  Int doType;
  Text assetUid;
  Text toAssetUid;
  Text categoryUid;
  Text currencyUid;
  Real amountSub;
  Text currency_sub;
  Text memo;
  Text payee;
  Int mark;
  Int repeatType;
  Int nextDate;
  Int endDate;
  Int useTime;
  // Older numeric-identifier model, filled only by restore from older files.
  Int aId;
  Int account_id;
  Int to_account_id;
  Int category_id;
  Int subcategory_id;
  Int currencyId;
  Int isDel;
  Int utime;
  Int isSynced;
  StoreDate syncTime;
  Int syncVersion;
};

struct FavTransaction {
  int64_t pk = 0;
  Text uid;
  Int doType;
  Text assetUid;
  Text toAssetUid;
  Text categoryUid;
  Text currencyUid;
  Text currency_sub;
  Int subcategory_id;
  Real amountSub;
  Text memo;
  Text payee;
  Int mark;
  Int order;
  // Older numeric-identifier model, filled only by restore from older files.
  Int aId;
  Int account_id;
  Int to_account_id;
  Int category_id;
  Int currencyId;
  Int isDel;
  Int utime;
  Int isSynced;
  StoreDate syncTime;
  Int syncVersion;
};

struct Memo {
  int64_t pk = 0;
  Text uid;
  Text title;
  Text content;
  Text color;
  Text memoDate;
  Int memoTime;
  Int orderSeq;
  Int pinned;
  int64_t pinnedTime = 0;
  Int del_syncTime;
  Int isDel;
  Int utime;
  int64_t isSynced = 0;
  StoreDate syncTime;
  Int syncVersion;
};

struct Photo {
  int64_t pk = 0;
  Text uid;
  Text txUid;
  Text fileName;
  Text filePath;
  Text orgFileName;
  Text orgFilePath;
  Int fileSize;
  // Older numeric-identifier model, filled only by restore from older files.
  Int deviceId;
  Int inOutComeId;
  Int isDel;
  Int utime;
  Int isSynced;
  StoreDate syncTime;
  Int syncVersion;
};

struct Tag {
  int64_t pk = 0;
  Text uid;
  Text name;
  int64_t orderSeq = 0;
  int64_t isDel = 0;
  int64_t utime = 0;
  int64_t isSynced = 0;
  StoreDate syncTime;
  Int syncVersion;
};

struct TxTag {
  int64_t pk = 0;
  Text uid;
  Text txUid;
  Text tagUid;
  Int tx;   // row key of the linked InOutCome
  Int tag;  // row key of the linked Tag
  int64_t orderSeq = 0;
  Text objName;
  int64_t isDel = 0;
  int64_t utime = 0;
  int64_t isSynced = 0;
  StoreDate syncTime;
  Int syncVersion;
};

struct Etc {
  int64_t pk = 0;
  Text uid;
  Int DataType;
  Text Data;
  Text zData;
  Text zData1;
  Text zData2;
  Text datayTypeKey;
  Int isDel;
  Int utime;
  Int isSynced;
  StoreDate syncTime;
  Int syncVersion;
};

struct MessageMacro2 {
  int64_t pk = 0;
  Text uid;
  int64_t macroType = 0;
  Text macroAssetName;
  Text conAssetUid;
  Text smsTel;
  Text appPackage;
  Text appName;
  Text useYN;
  Text modiDate;
  int64_t orderSeq = 0;
  int64_t utime = 0;
  int64_t isSynced = 0;
  int64_t syncTime = 0;
};

struct SmsRawRead {
  int64_t pk = 0;
  Text uid;
  Text rDate;
  Text tel;
  Text senderName;
  Text appPackage;
  Text appName;
  Text type;
  Text amount;
  Text assetName;
  Text assetUid;
  Text toAssetUid;
  Text zData;
  int64_t zDate = 0;
  int64_t macroType = 0;
  int64_t notifyType = 0;
  int64_t mmsid = 0;
  int64_t textParsingTime = 0;
  int64_t isDel = 0;
  int64_t isSynced = 0;
  int64_t syncVersion = 0;
  Real utime;
  Real syncTime;
};

struct CodeData {
  int64_t pk = 0;
  Text uid;
  Text code;
  Text data;
  int64_t num = 0;
  int64_t ctime = 0;
  int64_t utime = 0;
  int64_t isDel = 0;
  int64_t isSynced = 0;
  int64_t syncVersion = 0;
  int64_t syncTime = 0;
};

struct CodeLink {
  int64_t pk = 0;
  Text uid;
  Text codeUid;
  Text tableName;
  Text tableUid;
  int64_t orderSeq = 0;
  int64_t ctime = 0;
  int64_t utime = 0;
  int64_t isDel = 0;
  int64_t isSynced = 0;
  int64_t syncVersion = 0;
  int64_t syncTime = 0;
};

struct Property {
  int64_t pk = 0;
  Text uid;
  Text key;
  Text value;
  Text type;
  Text desc;
  Int utime;
  Int isDel;
  Int syncVersion;
};

#define VARNEL_DECLARE_ENTITY(T)                        \
  template <>                                           \
  struct Entity<T> {                                    \
    static constexpr const char* kName = #T;            \
    static const std::string& table();                  \
    static const std::vector<Field<T>>& fields();       \
  };

// Every entity, for code that must handle each one (X is a macro taking the
// record type).
#define VARNEL_FOR_EACH_ENTITY(X) \
  X(InOutCome) \
  X(Asset) \
  X(AssetGroup) \
  X(Category) \
  X(Currency) \
  X(Budget) \
  X(BudgetAmount) \
  X(RepeatTransaction) \
  X(FavTransaction) \
  X(Memo) \
  X(Photo) \
  X(Tag) \
  X(TxTag) \
  X(Etc) \
  X(MessageMacro2) \
  X(SmsRawRead) \
  X(CodeData) \
  X(CodeLink) \
  X(Property)

VARNEL_FOR_EACH_ENTITY(VARNEL_DECLARE_ENTITY)

#undef VARNEL_DECLARE_ENTITY

// Schema of one table as the store creates it: name, then (column, SQL type).
struct TableSchema {
  std::string entity;
  std::string table;
  std::vector<std::pair<std::string, std::string>> columns;
};

// Every entity table, in a fixed order.
const std::vector<TableSchema>& allTableSchemas();

}  // namespace varnel
