// Field lists of the ledger entities; the column names follow from the
// attribute names ("Z" + upper case).
#include "model/entities.h"

namespace varnel {

const std::string& Entity<InOutCome>::table() {
  static const std::string kTable = "ZINOUTCOME";
  return kTable;
}

const std::vector<Field<InOutCome>>& Entity<InOutCome>::fields() {
  using R = InOutCome;
  static const std::vector<Field<R>> kFields = {
      {"uid", ColumnType::kText, &R::uid},
      {"Date", ColumnType::kDate, &R::Date},
      {"txDateStr", ColumnType::kText, &R::txDateStr},
      {"Do_Type", ColumnType::kText, &R::Do_Type},
      {"assetUid", ColumnType::kText, &R::assetUid},
      {"toAssetUid", ColumnType::kText, &R::toAssetUid},
      {"categoryUid", ColumnType::kText, &R::categoryUid},
      {"currencyUid", ColumnType::kText, &R::currencyUid},
      {"amountSub", ColumnType::kReal, &R::amountSub},
      {"amount", ColumnType::kReal, &R::amount},
      {"amountAccount", ColumnType::kReal, &R::amountAccount},
      {"Content", ColumnType::kText, &R::Content},
      {"memo", ColumnType::kText, &R::memo},
      {"mark", ColumnType::kInt, &R::mark},
      {"txUidTrans", ColumnType::kText, &R::txUidTrans},
      {"txUidFee", ColumnType::kText, &R::txUidFee},
      {"cardDivideMonth", ColumnType::kText, &R::cardDivideMonth},
      {"cardDivideMonthStr", ColumnType::kText, &R::cardDivideMonthStr},
      {"cardDivideUid", ColumnType::kText, &R::cardDivideUid},
      {"cardTimeStampStr", ColumnType::kText, &R::cardTimeStampStr},
      {"smsOrigine", ColumnType::kText, &R::smsOrigine},
      {"smsParseContents", ColumnType::kText, &R::smsParseContents},
      {"smsRDate", ColumnType::kText, &R::smsRDate},
      {"lat", ColumnType::kText, &R::lat},
      {"lng", ColumnType::kText, &R::lng},
      {"gstd", ColumnType::kText, &R::gstd},
      {"wtime", ColumnType::kText, &R::wtime},
      {"paid", ColumnType::kText, &R::paid},
      {"zData1", ColumnType::kText, &R::zData1},
      {"zData2", ColumnType::kText, &R::zData2},
      {"aId", ColumnType::kInt, &R::aId},
      {"Asset_ID", ColumnType::kInt, &R::Asset_ID},
      {"Asset_Group", ColumnType::kInt, &R::Asset_Group},
      {"Asset_Name", ColumnType::kText, &R::Asset_Name},
      {"Asset_Nic", ColumnType::kText, &R::Asset_Nic},
      {"Category_ID", ColumnType::kInt, &R::Category_ID},
      {"Category_Name", ColumnType::kText, &R::Category_Name},
      {"categoryId", ColumnType::kInt, &R::categoryId},
      {"currencyId", ColumnType::kInt, &R::currencyId},
      {"currency", ColumnType::kText, &R::currency},
      {"Money", ColumnType::kText, &R::Money},
      {"OppositeAid", ColumnType::kInt, &R::OppositeAid},
      {"CardDividId", ColumnType::kInt, &R::CardDividId},
      {"fee_ID", ColumnType::kInt, &R::fee_ID},
      {"syncCheck", ColumnType::kInt, &R::syncCheck},
      {"utime", ColumnType::kInt, &R::utime},
      {"isDel", ColumnType::kInt, &R::isDel},
      {"isSynced", ColumnType::kInt, &R::isSynced},
      {"syncTime", ColumnType::kDate, &R::syncTime},
      {"syncVersion", ColumnType::kInt, &R::syncVersion},
  };
  return kFields;
}

const std::string& Entity<Asset>::table() {
  static const std::string kTable = "ZASSET";
  return kTable;
}

const std::vector<Field<Asset>>& Entity<Asset>::fields() {
  using R = Asset;
  static const std::vector<Field<R>> kFields = {
      {"uid", ColumnType::kText, &R::uid},
      {"NicName", ColumnType::kText, &R::NicName},
      {"groupUid", ColumnType::kText, &R::groupUid},
      {"Order", ColumnType::kInt, &R::Order},
      {"currencyUid", ColumnType::kText, &R::currencyUid},
      {"memo", ColumnType::kText, &R::memo},
      {"isDel", ColumnType::kInt, &R::isDel},
      {"isReflect", ColumnType::kInt, &R::isReflect},
      {"transferExpense", ColumnType::kInt, &R::transferExpense},
      {"Card_DayFin", ColumnType::kText, &R::Card_DayFin},
      {"Card_DayPay", ColumnType::kText, &R::Card_DayPay},
      {"cardAssetUid", ColumnType::kText, &R::cardAssetUid},
      {"isCardAutoPay", ColumnType::kInt, &R::isCardAutoPay},
      {"card_usage_hurdle_type", ColumnType::kInt, &R::card_usage_hurdle_type},
      {"card_usage_hurdle_start_date", ColumnType::kInt, &R::card_usage_hurdle_start_date},
      {"card_usage_hurdle_amount", ColumnType::kInt, &R::card_usage_hurdle_amount},
      {"smsString", ColumnType::kText, &R::smsString},
      {"smsTel", ColumnType::kText, &R::smsTel},
      {"appPackage", ColumnType::kText, &R::appPackage},
      {"appName", ColumnType::kText, &R::appName},
      {"Card_Account_Name", ColumnType::kText, &R::Card_Account_Name},
      {"memoTitle", ColumnType::kText, &R::memoTitle},
      {"aId", ColumnType::kInt, &R::aId},
      {"Group_ID", ColumnType::kInt, &R::Group_ID},
      {"Card_Account_ID", ColumnType::kInt, &R::Card_Account_ID},
      {"currencyId", ColumnType::kInt, &R::currencyId},
      {"utime", ColumnType::kInt, &R::utime},
      {"isSynced", ColumnType::kInt, &R::isSynced},
      {"syncTime", ColumnType::kDate, &R::syncTime},
      {"syncVersion", ColumnType::kInt, &R::syncVersion},
  };
  return kFields;
}

const std::string& Entity<AssetGroup>::table() {
  static const std::string kTable = "ZASSETGROUP";
  return kTable;
}

const std::vector<Field<AssetGroup>>& Entity<AssetGroup>::fields() {
  using R = AssetGroup;
  static const std::vector<Field<R>> kFields = {
      {"uid", ColumnType::kText, &R::uid},
      {"AssetGroupName", ColumnType::kText, &R::AssetGroupName},
      {"Status", ColumnType::kInt, &R::Status},
      {"Order", ColumnType::kInt, &R::Order},
      {"isDel", ColumnType::kInt, &R::isDel},
      {"aId", ColumnType::kInt, &R::aId},
      {"utime", ColumnType::kInt, &R::utime},
      {"isSynced", ColumnType::kInt, &R::isSynced},
      {"syncTime", ColumnType::kDate, &R::syncTime},
      {"syncVersion", ColumnType::kInt, &R::syncVersion},
  };
  return kFields;
}

const std::string& Entity<Category>::table() {
  static const std::string kTable = "ZCATEGORY";
  return kTable;
}

const std::vector<Field<Category>>& Entity<Category>::fields() {
  using R = Category;
  static const std::vector<Field<R>> kFields = {
      {"uid", ColumnType::kText, &R::uid},
      {"Name", ColumnType::kText, &R::Name},
      {"doType", ColumnType::kInt, &R::doType},
      {"pUid", ColumnType::kText, &R::pUid},
      {"Status", ColumnType::kInt, &R::Status},
      {"Order", ColumnType::kInt, &R::Order},
      {"isDel", ColumnType::kInt, &R::isDel},
      {"aId", ColumnType::kInt, &R::aId},
      {"zData", ColumnType::kText, &R::zData},
      {"utime", ColumnType::kInt, &R::utime},
      {"isSynced", ColumnType::kInt, &R::isSynced},
      {"syncTime", ColumnType::kDate, &R::syncTime},
      {"syncVersion", ColumnType::kInt, &R::syncVersion},
  };
  return kFields;
}

const std::string& Entity<Currency>::table() {
  static const std::string kTable = "ZCURRENCY";
  return kTable;
}

const std::vector<Field<Currency>>& Entity<Currency>::fields() {
  using R = Currency;
  static const std::vector<Field<R>> kFields = {
      {"uid", ColumnType::kText, &R::uid},
      {"iso", ColumnType::kText, &R::iso},
      {"mainIso", ColumnType::kText, &R::mainIso},
      {"rate", ColumnType::kReal, &R::rate},
      {"symbol", ColumnType::kText, &R::symbol},
      {"symbolPosition", ColumnType::kText, &R::symbolPosition},
      {"point", ColumnType::kInt, &R::point},
      {"isMainCurrency", ColumnType::kInt, &R::isMainCurrency},
      {"isShow", ColumnType::kInt, &R::isShow},
      {"insertType", ColumnType::kText, &R::insertType},
      {"orderSeq", ColumnType::kInt, &R::orderSeq},
      {"memo", ColumnType::kText, &R::memo},
      {"modifyDate", ColumnType::kDate, &R::modifyDate},
      {"aId", ColumnType::kInt, &R::aId},
      {"isDel", ColumnType::kInt, &R::isDel},
      {"utime", ColumnType::kInt, &R::utime},
      {"isSynced", ColumnType::kInt, &R::isSynced},
      {"syncTime", ColumnType::kDate, &R::syncTime},
      {"syncVersion", ColumnType::kInt, &R::syncVersion},
  };
  return kFields;
}

const std::string& Entity<Budget>::table() {
  static const std::string kTable = "ZBUDGET";
  return kTable;
}

const std::vector<Field<Budget>>& Entity<Budget>::fields() {
  using R = Budget;
  static const std::vector<Field<R>> kFields = {
      {"uid", ColumnType::kText, &R::uid},
      {"targetUid", ColumnType::kText, &R::targetUid},
      {"doTypeStr", ColumnType::kText, &R::doTypeStr},
      {"periodTypeInt", ColumnType::kInt, &R::periodTypeInt},
      {"totalTypeInt", ColumnType::kInt, &R::totalTypeInt},
      {"transTypeInt", ColumnType::kInt, &R::transTypeInt},
      {"order", ColumnType::kInt, &R::order},
      {"aId", ColumnType::kInt, &R::aId},
      {"isDel", ColumnType::kInt, &R::isDel},
      {"utime", ColumnType::kInt, &R::utime},
      {"isSynced", ColumnType::kInt, &R::isSynced},
      {"syncTime", ColumnType::kDate, &R::syncTime},
      {"syncVersion", ColumnType::kInt, &R::syncVersion},
  };
  return kFields;
}

const std::string& Entity<BudgetAmount>::table() {
  static const std::string kTable = "ZBUDGETAMOUNT";
  return kTable;
}

const std::vector<Field<BudgetAmount>>& Entity<BudgetAmount>::fields() {
  using R = BudgetAmount;
  static const std::vector<Field<R>> kFields = {
      {"uid", ColumnType::kText, &R::uid},
      {"budgetUid", ColumnType::kText, &R::budgetUid},
      {"budgetPeriod", ColumnType::kInt, &R::budgetPeriod},
      {"amount", ColumnType::kReal, &R::amount},
      {"aId", ColumnType::kInt, &R::aId},
      {"budgetId", ColumnType::kInt, &R::budgetId},
      {"isDel", ColumnType::kInt, &R::isDel},
      {"utime", ColumnType::kInt, &R::utime},
      {"isSynced", ColumnType::kInt, &R::isSynced},
      {"syncTime", ColumnType::kDate, &R::syncTime},
      {"syncVersion", ColumnType::kInt, &R::syncVersion},
  };
  return kFields;
}

const std::string& Entity<RepeatTransaction>::table() {
  static const std::string kTable = "ZREPEATTRANSACTION";
  return kTable;
}

const std::vector<Field<RepeatTransaction>>& Entity<RepeatTransaction>::fields() {
  using R = RepeatTransaction;
  static const std::vector<Field<R>> kFields = {
      {"uid", ColumnType::kText, &R::uid},
      {"doType", ColumnType::kInt, &R::doType},
      {"assetUid", ColumnType::kText, &R::assetUid},
      {"toAssetUid", ColumnType::kText, &R::toAssetUid},
      {"categoryUid", ColumnType::kText, &R::categoryUid},
      {"currencyUid", ColumnType::kText, &R::currencyUid},
      {"amountSub", ColumnType::kReal, &R::amountSub},
      {"currency_sub", ColumnType::kText, &R::currency_sub},
      {"memo", ColumnType::kText, &R::memo},
      {"payee", ColumnType::kText, &R::payee},
      {"mark", ColumnType::kInt, &R::mark},
      {"repeatType", ColumnType::kInt, &R::repeatType},
      {"nextDate", ColumnType::kInt, &R::nextDate},
      {"endDate", ColumnType::kInt, &R::endDate},
      {"useTime", ColumnType::kInt, &R::useTime},
      {"aId", ColumnType::kInt, &R::aId},
      {"account_id", ColumnType::kInt, &R::account_id},
      {"to_account_id", ColumnType::kInt, &R::to_account_id},
      {"category_id", ColumnType::kInt, &R::category_id},
      {"subcategory_id", ColumnType::kInt, &R::subcategory_id},
      {"currencyId", ColumnType::kInt, &R::currencyId},
      {"isDel", ColumnType::kInt, &R::isDel},
      {"utime", ColumnType::kInt, &R::utime},
      {"isSynced", ColumnType::kInt, &R::isSynced},
      {"syncTime", ColumnType::kDate, &R::syncTime},
      {"syncVersion", ColumnType::kInt, &R::syncVersion},
  };
  return kFields;
}

const std::string& Entity<FavTransaction>::table() {
  static const std::string kTable = "ZFAVTRANSACTION";
  return kTable;
}

const std::vector<Field<FavTransaction>>& Entity<FavTransaction>::fields() {
  using R = FavTransaction;
  static const std::vector<Field<R>> kFields = {
      {"uid", ColumnType::kText, &R::uid},
      {"doType", ColumnType::kInt, &R::doType},
      {"assetUid", ColumnType::kText, &R::assetUid},
      {"toAssetUid", ColumnType::kText, &R::toAssetUid},
      {"categoryUid", ColumnType::kText, &R::categoryUid},
      {"currencyUid", ColumnType::kText, &R::currencyUid},
      {"currency_sub", ColumnType::kText, &R::currency_sub},
      {"subcategory_id", ColumnType::kInt, &R::subcategory_id},
      {"amountSub", ColumnType::kReal, &R::amountSub},
      {"memo", ColumnType::kText, &R::memo},
      {"payee", ColumnType::kText, &R::payee},
      {"mark", ColumnType::kInt, &R::mark},
      {"order", ColumnType::kInt, &R::order},
      {"aId", ColumnType::kInt, &R::aId},
      {"account_id", ColumnType::kInt, &R::account_id},
      {"to_account_id", ColumnType::kInt, &R::to_account_id},
      {"category_id", ColumnType::kInt, &R::category_id},
      {"currencyId", ColumnType::kInt, &R::currencyId},
      {"isDel", ColumnType::kInt, &R::isDel},
      {"utime", ColumnType::kInt, &R::utime},
      {"isSynced", ColumnType::kInt, &R::isSynced},
      {"syncTime", ColumnType::kDate, &R::syncTime},
      {"syncVersion", ColumnType::kInt, &R::syncVersion},
  };
  return kFields;
}

const std::string& Entity<Memo>::table() {
  static const std::string kTable = "ZMEMO";
  return kTable;
}

const std::vector<Field<Memo>>& Entity<Memo>::fields() {
  using R = Memo;
  static const std::vector<Field<R>> kFields = {
      {"uid", ColumnType::kText, &R::uid},
      {"title", ColumnType::kText, &R::title},
      {"content", ColumnType::kText, &R::content},
      {"color", ColumnType::kText, &R::color},
      {"memoDate", ColumnType::kText, &R::memoDate},
      {"memoTime", ColumnType::kInt, &R::memoTime},
      {"orderSeq", ColumnType::kInt, &R::orderSeq},
      {"pinned", ColumnType::kInt, &R::pinned},
      {"pinnedTime", ColumnType::kScalar, &R::pinnedTime},
      {"del_syncTime", ColumnType::kInt, &R::del_syncTime},
      {"isDel", ColumnType::kInt, &R::isDel},
      {"utime", ColumnType::kInt, &R::utime},
      {"isSynced", ColumnType::kScalar, &R::isSynced},
      {"syncTime", ColumnType::kDate, &R::syncTime},
      {"syncVersion", ColumnType::kInt, &R::syncVersion},
  };
  return kFields;
}

const std::string& Entity<Photo>::table() {
  static const std::string kTable = "ZPHOTO";
  return kTable;
}

const std::vector<Field<Photo>>& Entity<Photo>::fields() {
  using R = Photo;
  static const std::vector<Field<R>> kFields = {
      {"uid", ColumnType::kText, &R::uid},
      {"txUid", ColumnType::kText, &R::txUid},
      {"fileName", ColumnType::kText, &R::fileName},
      {"filePath", ColumnType::kText, &R::filePath},
      {"orgFileName", ColumnType::kText, &R::orgFileName},
      {"orgFilePath", ColumnType::kText, &R::orgFilePath},
      {"fileSize", ColumnType::kInt, &R::fileSize},
      {"deviceId", ColumnType::kInt, &R::deviceId},
      {"inOutComeId", ColumnType::kInt, &R::inOutComeId},
      {"isDel", ColumnType::kInt, &R::isDel},
      {"utime", ColumnType::kInt, &R::utime},
      {"isSynced", ColumnType::kInt, &R::isSynced},
      {"syncTime", ColumnType::kDate, &R::syncTime},
      {"syncVersion", ColumnType::kInt, &R::syncVersion},
  };
  return kFields;
}

const std::string& Entity<Tag>::table() {
  static const std::string kTable = "ZTAG";
  return kTable;
}

const std::vector<Field<Tag>>& Entity<Tag>::fields() {
  using R = Tag;
  static const std::vector<Field<R>> kFields = {
      {"uid", ColumnType::kText, &R::uid},
      {"name", ColumnType::kText, &R::name},
      {"orderSeq", ColumnType::kScalar, &R::orderSeq},
      {"isDel", ColumnType::kScalar, &R::isDel},
      {"utime", ColumnType::kScalar, &R::utime},
      {"isSynced", ColumnType::kScalar, &R::isSynced},
      {"syncTime", ColumnType::kDate, &R::syncTime},
      {"syncVersion", ColumnType::kInt, &R::syncVersion},
  };
  return kFields;
}

const std::string& Entity<TxTag>::table() {
  static const std::string kTable = "ZTXTAG";
  return kTable;
}

const std::vector<Field<TxTag>>& Entity<TxTag>::fields() {
  using R = TxTag;
  static const std::vector<Field<R>> kFields = {
      {"uid", ColumnType::kText, &R::uid},
      {"txUid", ColumnType::kText, &R::txUid},
      {"tagUid", ColumnType::kText, &R::tagUid},
      {"tx", ColumnType::kInt, &R::tx},
      {"tag", ColumnType::kInt, &R::tag},
      {"orderSeq", ColumnType::kScalar, &R::orderSeq},
      {"objName", ColumnType::kText, &R::objName},
      {"isDel", ColumnType::kScalar, &R::isDel},
      {"utime", ColumnType::kScalar, &R::utime},
      {"isSynced", ColumnType::kScalar, &R::isSynced},
      {"syncTime", ColumnType::kDate, &R::syncTime},
      {"syncVersion", ColumnType::kInt, &R::syncVersion},
  };
  return kFields;
}

const std::string& Entity<Etc>::table() {
  static const std::string kTable = "ZETC";
  return kTable;
}

const std::vector<Field<Etc>>& Entity<Etc>::fields() {
  using R = Etc;
  static const std::vector<Field<R>> kFields = {
      {"uid", ColumnType::kText, &R::uid},
      {"DataType", ColumnType::kInt, &R::DataType},
      {"Data", ColumnType::kText, &R::Data},
      {"zData", ColumnType::kText, &R::zData},
      {"zData1", ColumnType::kText, &R::zData1},
      {"zData2", ColumnType::kText, &R::zData2},
      {"datayTypeKey", ColumnType::kText, &R::datayTypeKey},
      {"isDel", ColumnType::kInt, &R::isDel},
      {"utime", ColumnType::kInt, &R::utime},
      {"isSynced", ColumnType::kInt, &R::isSynced},
      {"syncTime", ColumnType::kDate, &R::syncTime},
      {"syncVersion", ColumnType::kInt, &R::syncVersion},
  };
  return kFields;
}

const std::string& Entity<MessageMacro2>::table() {
  static const std::string kTable = "ZMESSAGEMACRO2";
  return kTable;
}

const std::vector<Field<MessageMacro2>>& Entity<MessageMacro2>::fields() {
  using R = MessageMacro2;
  static const std::vector<Field<R>> kFields = {
      {"uid", ColumnType::kText, &R::uid},
      {"macroType", ColumnType::kScalar, &R::macroType},
      {"macroAssetName", ColumnType::kText, &R::macroAssetName},
      {"conAssetUid", ColumnType::kText, &R::conAssetUid},
      {"smsTel", ColumnType::kText, &R::smsTel},
      {"appPackage", ColumnType::kText, &R::appPackage},
      {"appName", ColumnType::kText, &R::appName},
      {"useYN", ColumnType::kText, &R::useYN},
      {"modiDate", ColumnType::kText, &R::modiDate},
      {"orderSeq", ColumnType::kScalar, &R::orderSeq},
      {"utime", ColumnType::kScalar, &R::utime},
      {"isSynced", ColumnType::kScalar, &R::isSynced},
      {"syncTime", ColumnType::kScalar, &R::syncTime},
  };
  return kFields;
}

const std::string& Entity<SmsRawRead>::table() {
  static const std::string kTable = "ZSMSRAWREAD";
  return kTable;
}

const std::vector<Field<SmsRawRead>>& Entity<SmsRawRead>::fields() {
  using R = SmsRawRead;
  static const std::vector<Field<R>> kFields = {
      {"uid", ColumnType::kText, &R::uid},
      {"rDate", ColumnType::kText, &R::rDate},
      {"tel", ColumnType::kText, &R::tel},
      {"senderName", ColumnType::kText, &R::senderName},
      {"appPackage", ColumnType::kText, &R::appPackage},
      {"appName", ColumnType::kText, &R::appName},
      {"type", ColumnType::kText, &R::type},
      {"amount", ColumnType::kText, &R::amount},
      {"assetName", ColumnType::kText, &R::assetName},
      {"assetUid", ColumnType::kText, &R::assetUid},
      {"toAssetUid", ColumnType::kText, &R::toAssetUid},
      {"zData", ColumnType::kText, &R::zData},
      {"zDate", ColumnType::kScalar, &R::zDate},
      {"macroType", ColumnType::kScalar, &R::macroType},
      {"notifyType", ColumnType::kScalar, &R::notifyType},
      {"mmsid", ColumnType::kScalar, &R::mmsid},
      {"textParsingTime", ColumnType::kScalar, &R::textParsingTime},
      {"isDel", ColumnType::kScalar, &R::isDel},
      {"isSynced", ColumnType::kScalar, &R::isSynced},
      {"syncVersion", ColumnType::kScalar, &R::syncVersion},
      {"utime", ColumnType::kReal, &R::utime},
      {"syncTime", ColumnType::kReal, &R::syncTime},
  };
  return kFields;
}

const std::string& Entity<CodeData>::table() {
  static const std::string kTable = "ZCODEDATA";
  return kTable;
}

const std::vector<Field<CodeData>>& Entity<CodeData>::fields() {
  using R = CodeData;
  static const std::vector<Field<R>> kFields = {
      {"uid", ColumnType::kText, &R::uid},
      {"code", ColumnType::kText, &R::code},
      {"data", ColumnType::kText, &R::data},
      {"num", ColumnType::kScalar, &R::num},
      {"ctime", ColumnType::kScalar, &R::ctime},
      {"utime", ColumnType::kScalar, &R::utime},
      {"isDel", ColumnType::kScalar, &R::isDel},
      {"isSynced", ColumnType::kScalar, &R::isSynced},
      {"syncVersion", ColumnType::kScalar, &R::syncVersion},
      {"syncTime", ColumnType::kScalar, &R::syncTime},
  };
  return kFields;
}

const std::string& Entity<CodeLink>::table() {
  static const std::string kTable = "ZCODELINK";
  return kTable;
}

const std::vector<Field<CodeLink>>& Entity<CodeLink>::fields() {
  using R = CodeLink;
  static const std::vector<Field<R>> kFields = {
      {"uid", ColumnType::kText, &R::uid},
      {"codeUid", ColumnType::kText, &R::codeUid},
      {"tableName", ColumnType::kText, &R::tableName},
      {"tableUid", ColumnType::kText, &R::tableUid},
      {"orderSeq", ColumnType::kScalar, &R::orderSeq},
      {"ctime", ColumnType::kScalar, &R::ctime},
      {"utime", ColumnType::kScalar, &R::utime},
      {"isDel", ColumnType::kScalar, &R::isDel},
      {"isSynced", ColumnType::kScalar, &R::isSynced},
      {"syncVersion", ColumnType::kScalar, &R::syncVersion},
      {"syncTime", ColumnType::kScalar, &R::syncTime},
  };
  return kFields;
}

const std::string& Entity<Property>::table() {
  static const std::string kTable = "ZPROPERTY";
  return kTable;
}

const std::vector<Field<Property>>& Entity<Property>::fields() {
  using R = Property;
  static const std::vector<Field<R>> kFields = {
      {"uid", ColumnType::kText, &R::uid},
      {"key", ColumnType::kText, &R::key},
      {"value", ColumnType::kText, &R::value},
      {"type", ColumnType::kText, &R::type},
      {"desc", ColumnType::kText, &R::desc},
      {"utime", ColumnType::kInt, &R::utime},
      {"isDel", ColumnType::kInt, &R::isDel},
      {"syncVersion", ColumnType::kInt, &R::syncVersion},
  };
  return kFields;
}

namespace {

const char* sqlType(ColumnType t) {
  switch (t) {
    case ColumnType::kText: return "VARCHAR";
    case ColumnType::kInt:
    case ColumnType::kScalar: return "INTEGER";
    case ColumnType::kReal: return "FLOAT";
    case ColumnType::kDate: return "TIMESTAMP";
  }
  return "";
}

template <class T>
TableSchema schemaOf() {
  TableSchema s{Entity<T>::kName, Entity<T>::table(), {}};
  for (const auto& f : Entity<T>::fields()) s.columns.emplace_back(f.column, sqlType(f.type));
  return s;
}

}  // namespace

const std::vector<TableSchema>& allTableSchemas() {
  static const std::vector<TableSchema> kAll = {
      schemaOf<InOutCome>(),
      schemaOf<Asset>(),
      schemaOf<AssetGroup>(),
      schemaOf<Category>(),
      schemaOf<Currency>(),
      schemaOf<Budget>(),
      schemaOf<BudgetAmount>(),
      schemaOf<RepeatTransaction>(),
      schemaOf<FavTransaction>(),
      schemaOf<Memo>(),
      schemaOf<Photo>(),
      schemaOf<Tag>(),
      schemaOf<TxTag>(),
      schemaOf<Etc>(),
      schemaOf<MessageMacro2>(),
      schemaOf<SmsRawRead>(),
      schemaOf<CodeData>(),
      schemaOf<CodeLink>(),
      schemaOf<Property>(),
  };
  return kAll;
}

}  // namespace varnel
