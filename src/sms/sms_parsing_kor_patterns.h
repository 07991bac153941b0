// Patterns of the Korean parser, in ICU syntax. "%@" stands for the text a
// pattern is completed with (a currency code, a number separator).
#pragma once

namespace varnel::kor_patterns {

inline constexpr const char16_t* kSupplyValue =
    uR"re(공급가액\s([0-9]{1,3}(,[0-9]{3})+)\s?원?)re";
inline constexpr const char16_t* kRunningTotal =
    uR"re((총)?누적(:)?\s?(이용|결제)?(금액)?(\s)?(:)?\s*([0-9]{1,3}(,[0-9]{3})+|([0-9]{1,10}))\s?원?|누계\s?([0-9]{1,3}(,[0-9]{3})+)\s?원?|누적사용\s금액\s\:\s\[([0-9]{1,3}(,[0-9]{3})+|([0-9]{1,10}))\]\s?원?|누적?\*+\,\*+원?)re";
inline constexpr const char16_t* kAvailableAmount =
    uR"re(사용가능\s금액\s\:\s\[([0-9]{1,3}(,[0-9]{3})+|([0-9]{1,10}))\]\s?원?|\/총([0-9]{1,3}(,[0-9]{3})+|([0-9]{1,10}))원|(Remaining\s)?Credit\slimit\:\s([0-9]{1,3}(,[0-9]{3})+|([0-9]{1,10})))re";
inline constexpr const char16_t* kBalance =
    uR"re((\s카드\s|통장)?잔액(:|-)?\s?([0-9]{1,3}(,[0-9]{3})*)\s?원?|잔여(한도)?\s?(:)?([0-9]{1,3}(,[0-9]{3})+)(\.[0-9]{1,2})?\s?원?|(지급)?(출금)?가능(금)?액(\s|\-)*([0-9]{1,3}(,[0-9]{3})+)\s*원?|(할인예정|잔액|결제예정)\s*(-)?([0-9]{1,3}(,[0-9]{3})+)원?|청구\s([0-9]{1,3}(,[0-9]{3})+)(\.[0-9]{1,2})?\s?원?\s중?|잔액충전(\s)?:\s([0-9]{1,3}(,[0-9]{3})+)\s?원|잔액\s?\**원|잔액((\s)+)?\d|충전(금액|전액|잔액)(:)?\s?([0-9]{1,3}(,[0-9]{1,3})*(.[0-9]{1,2}))\s?원?|\-\s(할인)금액\s\:\s[0-9]{1,3}(,[0-9]{1,3})*(.[0-9]{1,2})?원|(잔여)?TOP\d{1,3}\(기준\)|총한도(:)?\d+\s?원?|잔여한도(:)?\d+\s?원?|남은금액\s[0-9]{1,3}(,[0-9]{1,3})*(.[0-9]{1,2})?원|(거래\s후\s)?잔(\s)?액\s\:\s[0-9]{1,3}(,[0-9]{1,3})*(.[0-9]{1,2})?원)re";
inline constexpr const char16_t* kUsRemainingLimit =
    uR"re(Remaining\slimit\s(([0-9]{1,14}(,[0-9]{3})*)(\.[0-9]{1,2})?)\s(SAR)?|\$([0-9]{1,3}(,[0-9]{3})*)(\.[0-9]{1,2})\slimit)re";
inline constexpr const char16_t* kCollectionTotal =
    uR"re(누적\s회수대행\s금액\s\:\s\[([0-9]{1,3}(,[0-9]{3})+|([0-9]{1,10}))\]\s?원?)re";
inline constexpr const char16_t* kRewardPoints =
    uR"re((NH포인트\s)?([0-9]{1,3}(,[0-9]{3})+|([0-9]{1,10}))(TOP)?적립예정|\d+TOP적립예정|\(POINT[0-9]*점\s사용\)|잔여TOP[0-9]{1,5}|\(POINT([0-9]{1,3}(,[0-9]{3})+)?점\s사용\)|채움P\s[0-9]{1,3}(,[0-9]{3})*\s?적립예정|[0-9]{1,2}\.[0-9]{1}%(\s)?적립|적립\s예정\s스마일캐시\s+\-+\s+([0-9]{1,3}(,[0-9]{3})+|[0-9]{1,3})\s원|\-\s적립금액\s\:\s[0-9]{1,3}(,[0-9]{1,3})*(\.[0-9]{1,2})?원|\&[0-9]{1,3}(,[0-9]{1,3})P|캐시백\s\d{2}\%는\s다음\s기회에|캐시백\s[0-9]{1,3}(,[0-9]{1,3})*(\.[0-9]{1,2})?원|gm\*\sPOINT\d{1,9}점\s사용|스마일캐시\s[0-9]{1,3}(,[0-9]{1,3})*(\.[0-9]{1,2})?원이\s곧\s적립됩니다\.|추가\s적립\s\:\s([0-9]{1,3}(,[0-9]{1,3})*(\.[0-9]{1,2})?원)?|기본\s적립\s\:\s([0-9]{1,3}(,[0-9]{1,3})*(\.[0-9]{1,2})?원)?|\s스마일클럽은\s\d{2}월\s\d{2}일에 적립됩니다\.|([0-9]{1,3}(,[0-9]{3})+|([0-9]{1,10}))포인트사용|HI\-POINT\d{3}|([0-9]{1,3}(,[0-9]{3})+|([0-9]{1,10}))원캐쉬백주|페이포인트\s사용\s\:\s([0-9]{1,3}(,[0-9]{3})+|([0-9]{1,10})))re";
inline constexpr const char16_t* kPaymentAmountLabel =
    uR"re(결제금액\s\:\s[0-9]{1,3}(,[0-9]{3})+(\.\d{2})?(원)?|출금금액\s\:)re";
inline constexpr const char16_t* kTax =
    uR"re(세금(\s)?([0-9]{1,3}(,[0-9]{3})+|[0-9]{1,3})\s원)re";
inline constexpr const char16_t* kSubsidy =
    uR"re(보조금(\s)?([0-9]{1,3}(,[0-9]{3})+|[0-9]{1,3})원)re";
inline constexpr const char16_t* kServiceCharge =
    uR"re(봉사료(\s)?([0-9]{1,3}(,[0-9]{3})+|[0-9]{1,3})\s원)re";
inline constexpr const char16_t* kTotal =
    uR"re(합계(\s)?([0-9]{1,3}(,[0-9]{3})+|[0-9]{1,3})\s원)re";
inline constexpr const char16_t* kRewardDate =
    uR"re(적립(\s)?예정일\s\:\s[0-1][0-9]\/[0-3][0-9])re";
inline constexpr const char16_t* kLumpSumDate =
    uR"re(일시불\s[0-1][0-9]\/[0-3][0-9]\s|\s[0-1][0-9]\/[0-3][0-9]\s\s\s\s)re";
inline constexpr const char16_t* kApprovalWithName =
    uR"re((\(\d{3,4}\)||((\d)?\*\d\*)||\d{3,4})(\s)?((해외|체크)?승인)(\])?\s[^\d\s(\*]{1,3}\*{1,2}([^\d\s(\*]{1})?\s)re";
inline constexpr const char16_t* kMaskedApproval =
    uR"re((\d)?\*\d\*승인\s)re";
inline constexpr const char16_t* kApprovalNumbers =
    uR"re((해외(\()?[0-9]{4}(\))?)|승인번호\s(\:)?(\s)?\d{4,8}|승인\s\d{4}|승인\d{4}|승\d{4}\D{2,3}\s|\d{4}\s정상승인|\d{1,4}(\s)?승인|신용\d{4}|주문번호\d{10,16}|Grab\*\s\S\-[:alnum:]{5,15}|\s\*{2,3}\d{5})re";
inline constexpr const char16_t* kMaskedNames =
    uR"re((\s)?([^*\d\s]{1}\s\*\s){1,2}\s?님|(\s)?(\])?[^*\d\s]{2}\*(\s님)?\s?님|(\(주\)|해외승인|승인)?[^*\)\d\s]{1,4}\s?님|\[\]\D{2}\*\s님|\D\*(\D)?\(\d{4}\)|체크카드[^*\d\s]\*\D님|\s?\D{1,2}\*\D{1,2}\s*님\s|(\s)?[^*\d\s]\*{1,2}[^*\d\s]{1,2}\s(님)?|\s안내\s\D\*\D{1,2}\(\d{1,4}\)|\s\D\*님계좌|받는사람:\s\D{1}\*\D{1}|받는사람\:\s\S{1,3}\(\S{1}\*\S{1}\)|메시지\:\s\D{3}|\(\s\D\*\D님\)|입금액\s\D\*\D|\D\*\D님\,\s|(납부자명\s\:\s)?(\()?\D(\*|\＊)\D(\))?님|\d{4}님\s|^님\s|\S{2}\s님\,|.{2,5}\s고객님|(\s[^\d\s\(\*][^\d\s\(\*]\*|\s[^\d\s\(\*]\*[^\d\s\(\*])님?(의)?|\s[^\d\s][^\d\s]\s\s님|\(\*{4}\)\*{3}님)re";
inline constexpr const char16_t* kDanalNumber =
    uR"re(결제\s대행사\s\:\s다날\[(1544|1522|1599|1588|1566|1644|1577)\-\d{4}\])re";
inline constexpr const char16_t* kServiceNumbers =
    uR"re(((비씨카드\s)?고객센터(\s)?\:(\s)?(\s)?)?(1544|1522|1599|1588|1566|1644|1577)(\-?)\d{4}|고객센터\s\((1544|1522|1599|1588|1566|1644|1577)\d{4}\)|\[고객센터\](1544|1522|1599|1588|1566|1644|1577)\-\d{4}|\*\s문의\s\:\s고객센터\s\(\☎1599\-8000\)|발신번호\s1544\-7000)re";
inline constexpr const char16_t* kPhoneLabel =
    uR"re(\-\s(전화번호)\s:\s\d{8,10}|\-\s(전화번호)\s:\s\d{2}\-\d{3}\-\d{4}|\-\s(전화번호)\s:\s)re";
inline constexpr const char16_t* kCustomerNumber =
    uR"re(고객번호\s\d{2}\-\d{4}\-\d{4})re";
inline constexpr const char16_t* kStorePhone =
    uR"re(매장\s연락처\s\:\s\d{9,10})re";
inline constexpr const char16_t* kMobileNumber =
    uR"re(010\d{7,8})re";
inline constexpr const char16_t* kAccountNumbers =
    uR"re(\[?\d{6,14}\]|받는\s사람:\s\D{2,3}\/\/\*{3}\d{4}|내\s계좌\:\s\s\/\s\*{3}\d{4}\s\/(\s\D\*(\D)?)?|내\s계좌\s\d{4}\-\d{3}\-\d{3}\*{3}|\]\d{4,14}로|(\d{6}\*\*\d{2,3})|\d{3}\*{1}\_\*{4}\_\*{1}\d{3}|(\[[0-9]{12}\])|(\d{3}\-\d{2,3}\-\d{4,6})|([0-9]{3}-[0-9]{3}-XXX[0-9]{3})|\d{3}-\D{3}-\D\d{5}|\([0-1][0-9]/[0-3][0-9]기준\)|-\d{4}-\d{2}|-\d+\/\d+-\*+-\d+|\s\d+xxx\d+|\-\d{3}\[\d{2}\]계좌|충전계좌(\s)?:\s\D{2}(\s)?[*]*\d{4}|충전계좌(\s)?\:\S{4,20}|\s\*{3}\d{4}|\(\d{3}\-\d{6}\-\d{5}\)\s계좌로|xxxx\d{4}|\#\d{12}|\d{5}\s+지급|\[\]\d{4}\s|카드번호\s(\:\s)?\d{4}\-\d{2}\*{2}\-\*{4}\-\d{4}|((계좌번호|상대계좌)\s\:\s)?((\d|\*)+\-)+((\d|\*)+)|(\d|\*)+(카드)|\d{1,9}\*{1,9}\d{1,9}(\*{1,9})?|\((\d\*)+(\))?|\d{1,15}\*{3,15})re";
inline constexpr const char16_t* kLeftovers =
    uR"re(\([0-1][0-9]/[0-3][0-9]기준\)|[0-9]{3}CD[0-9]{7}|(\d{3}-\d{3}-\d{1}\s)|(\s\D\*\D$)|\d{6}\*\*\d{2,3},\d{3}|\d{9}\*{3}로\s이체|<[0-1][0-9]/[0-3][0-9]\s기준>|연회비\D+포함|결제:\D+은행|[0-9]{1,2}\.[0-9]{1}% 할인|출금예정\(기준\)|\-\s(구매처)\s:\s(\d)?|메시지\:\s\S{3}|로\s이체|수수료\:\s무료|자세한\s내역은\s\[이용내역\]에서\s확인하세요|[0-1][0-9]\.[0-3][0-9]\s구입\s항목|PG사명\:\s\D{2,10}|Purchase\son\s[0-1][0-9]\.[0-3][0-9]|기프트\d{4}|수수료\:\s[0-9]{1,3}(,[0-9]{1,3})*(.[0-9]{1,2})?(\s)?(USD|원)?|외국납부세액\:\s[0-9]{1,3}(,[0-9]{1,3})*(.[0-9]{1,2})?(\s)?(USD|원)?|with\syour\scard\sending\sin\s\d{4}|.{1,10}(?=,)\,\syou\sspent\s{1,3}at|\d\s[^\d\s]{2}\s([^\d\s]{4}\d{4})?)re";
inline constexpr const char16_t* kLongDigits =
    uR"re(\d{4,}(\-\d+)?)re";
inline constexpr const char16_t* kEuroSignBefore =
    uR"re(\D?€\D?\s*([0-9]{1,3}(%@[0-9]{3})+(\%@[0-9]{1,2})|([0-9]{1,10})(\%@[0-9]{1,2})))re";
inline constexpr const char16_t* kEuroSignAfter =
    uR"re(([0-9]{1,3}(%@[0-9]{3})+(\%@[0-9]{1,2})|([0-9]{1,10})(\%@[0-9]{1,2}))\s*\D?€\D?)re";
inline constexpr const char16_t* kEuro =
    uR"re(\D?EUR\D?\s*([0-9]{1,3}(,[0-9]{3})+(\.[0-9]{1,2})|([0-9]{1,10})(\.[0-9]{1,2}))|([0-9]{1,3}(,[0-9]{3})+(\.[0-9]{1,2})|([0-9]{1,10})(\.[0-9]{1,2}))\s*\D?EUR\D?|\D?유로\D?\s*([0-9]{1,3}(,[0-9]{3})+(\.[0-9]{1,2})|([0-9]{1,10})(\.[0-9]{1,2}))|([0-9]{1,3}(,[0-9]{3})+(\.[0-9]{1,2})|([0-9]{1,10})(\.[0-9]{1,2}))\s*\D?유로\D?|%@|%@)re";
inline constexpr const char16_t* kYen =
    uR"re((JPY\s)(([0-9]{1,3}(,[0-9]{3})+)(\.[0-9]{1,2})?|([0-9]{1,10}))|\[JPY\]\s([0-9]{1,3}(,[0-9]{3})*)(\.[0-9]{1,2})?|([0-9]{1,3}(,[0-9]{3})*)(\.[0-9]{1,2})?(\s엔\s|\(JPY\))|\sJPY\d{2,14}/해외승인|해외승인\sJPY\d{2,14}|\sJPY\d{2,14}\s)re";
inline constexpr const char16_t* kYuan =
    uR"re(\D?CNY\D?\s*([0-9]{1,3}(,[0-9]{3})+(\.[0-9]{1,2})|([0-9]{1,10})(\.[0-9]{1,2}))|([0-9]{1,3}(,[0-9]{3})+(\.[0-9]{1,2})|([0-9]{1,10})(\.[0-9]{1,2}))\s*\D?CNY\D?|\D?위안\D?\s*([0-9]{1,3}(,[0-9]{3})+(\.[0-9]{1,2})|([0-9]{1,10})(\.[0-9]{1,2}))|([0-9]{1,3}(,[0-9]{3})+(\.[0-9]{1,2})|([0-9]{1,10})(\.[0-9]{1,2}))\s*\D?위안\D?)re";
inline constexpr const char16_t* kDong =
    uR"re(\D?VND\D?\s*([0-9]{1,3}(,[0-9]{3})+|([0-9]{1,10}))|\s([0-9]{1,3}(,[0-9]{3})+|([0-9]{1,10}))\s*\D?VND\D?)re";
inline constexpr const char16_t* kWholeOrDecimalCode =
    uR"re(\D?%@\D?\s*([0-9]{1,3}(,[0-9]{3})+(\.[0-9]{1,2})|([0-9]{1,10})(\.[0-9]{1,2}))|([0-9]{1,3}(,[0-9]{3})+(\.[0-9]{1,2})|([0-9]{1,10})(\.[0-9]{1,2}))\s*\D?%@\D?|\D?%@\D?\s*([0-9]{1,3}(,[0-9]{3})+|([0-9]{1,10}))|\s([0-9]{1,3}(,[0-9]{3})+|([0-9]{1,10}))\s*\D?%@\D?)re";
inline constexpr const char16_t* kDecimalCode =
    uR"re(\D?%@\D?\s*([0-9]{1,3}(,[0-9]{3})+(\.[0-9]{1,2})|([0-9]{1,10})(\.[0-9]{1,2}))|([0-9]{1,3}(,[0-9]{3})+(\.[0-9]{1,2})|([0-9]{1,10})(\.[0-9]{1,2}))\s*\D?%@\D?)re";
inline constexpr const char16_t* kDollar =
    uR"re(((USD\s)?\$)(([0-9]{1,3}(,[0-9]{3})*)(\.[0-9]{1,2}))|(\[USD\]\s)(([0-9]{1,3}(,[0-9]{3})*)(\.[0-9]{1,2}))|(USD(\s)?)(([0-9]{1,3}(,[0-9]{3})*)(\.[0-9]{1,2})?)|(USD(\s)?)(([0-9]{1,3}(,[0-9]{3})*)?(\.[0-9]{1,2}))|(([0-9]{1,3}(,[0-9]{3})*)(\.[0-9]{1,2}))((\s)?달러)|(([0-9]{1,3}(,[0-9]{3})*)(\.[0-9]{1,2}))(\(US\$\))|(\d+)(\.[0-9]{1,2})(\(US\$\))|(([0-9]{1,3}(,[0-9]{3})*)(\.[0-9]{1,2})?)\s?\(?USD\)?)re";
inline constexpr const char16_t* kOverseasWon =
    uR"re(KRW\s?([0-9]{1,3}(,[0-9]{3})+|([0-9]{1,10}))(원)?|([0-9]{1,3}(,[0-9]{3})+|([0-9]{1,10}))\(KRW\))re";
inline constexpr const char16_t* kDueDateWithdrawal =
    uR"re(기일출금\s[0-9]{1,3}(,[0-9]{3})*)re";
inline constexpr const char16_t* kWon =
    uR"re((KRW\s)?(\(금액\))?((-)?([0-9]{1,3}(,[0-9]{3})+)(\.[0-9]{1,2})?(\s)?(원)?(이)?(을)?)|([0-9]{1,3}(,[0-9]{3})+)(\.[0-9]{1,2})?원이(\s)입금|\s(([0-9]{1,3}(,[0-9]{3})+)(\.[0-9]{1,2})|([0-9]{1,7}))입금|\-\s금액\s\:\s(-)?(([0-9]{1,3}(,[0-9]{3})+)(\.[0-9]{1,2})?|[0-9]{1,3})(\s)?(원)?(이)?(을)?)re";
inline constexpr const char16_t* kWonFallback =
    uR"re(\d+원|(카드출금|카드입금)\(\s*[0-9]{1,3}(,[0-9]{1,3})*(.[0-9]{1,2})?원?|(통지수수료출|입금|지급|NH카드대금|체크카드출금|(자동)?입금|대출이자|(자동)?출금)(:)?\s*([0-9]{1,3}(,[0-9]{3})+|[1-9]{1}([0-9]{1,10})?)원?|(SMS통지요금)\s\\*([0-9]{1,3}(,[0-9]{3})+|[1-9]{1}([0-9]{1,10})?)원?|\s[1-9]{1}([0-9]{1,10})?원?\s*(체크할인|잔액|해외)|\sKRW\d{2,14}/해외승인|\sKRW\d{2,14}\s|수수료\s\d{2,3}출금|(\s\d+\s원)|\s+[0-9]{1,3}(,[0-9]{1,3})*(.[0-9]{1,2})?출금|NH카드대금\s\\[0-9]{1,3}|(출|주문)금액(:)?\s?([0-9]{1,3}(,[0-9]{3})*)\s?원?|현금IC\s([0-9]{1,3}(,[0-9]{3})+|([0-9]{1,10})))re";
inline constexpr const char16_t* kLeftoverWon =
    uR"re(\s([0-9]{1,3}((,)?[0-9]{3})+)원)re";
inline constexpr const char16_t* kHanaAlarmHeader =
    uR"re(은행 하나 알리미\]\s([0-9]{1,3}(,[0-9]{3})+)(\.[0-9]{1,2})?원?)re";
inline constexpr const char16_t* kWonNumber =
    uR"re((-)?([0-9]{1,3}(,[0-9]{3})+)(\.[0-9]{1,2})?|(\d{1,12}))re";
inline constexpr const char16_t* kUsdBlankDecimal =
    uR"re(USD\s\.[0-9]{1,2})re";
inline constexpr const char16_t* kLocaleNumber =
    uR"re(((-)?([0-9]{1,14}(%@[0-9]{3})*)(\%@[0-9]{1,2})?))re";
inline constexpr const char16_t* kMonthDaySuffix =
    uR"re((0|1)?[1-9]\/([1-3])?[0-9]일)re";
inline constexpr const char16_t* kDateYearFirst =
    uR"re([2][0-9][0-9][0-9](\-|\/|\.)(\s)?[0-1]?[0-9](\-|\/|\.)(\s)?[0-3]?[0-9](\-|\/|\.)?|[2][0-9][0-9][0-9]년(\s)?[0-1]?[0-9]월(\s)?[0-3]?[0-9]일)re";
inline constexpr const char16_t* kDateDayMonthYear =
    uR"re(\s[0-3][0-9](\-|\/|\.)[0-1][0-9](\-|\/|\.)[2][0][0-9][0-9])re";
inline constexpr const char16_t* kDateMonthDayYear =
    uR"re(\s[0-1][0-9](\-|\/|\.)[0-3][0-9](\-|\/|\.)[2][0][0-9][0-9])re";
inline constexpr const char16_t* kDateUsShortYear =
    uR"re((AM|PM)?\s[0-3][0-9](\-|\/|\.)[0-1][0-9](\-|\/|\.)[0-9][0-9])re";
inline constexpr const char16_t* kDateShortYear =
    uR"re((\s|^\d\*)[0-9][0-9](\-|\/|\.)([0-1])?[0-9](\-|\/|\.)([0-3])?[0-9]|[0-9][0-9](\-|\/|\.)([0-1])?[0-9](\-|\/|\.)([0-3])?[0-9](\s|^\d\*))re";
inline constexpr const char16_t* kDateMonthDayWithDay =
    uR"re([1]?\d{1}\/\d{1,2}일)re";
inline constexpr const char16_t* kDateMonthDay =
    uR"re([0-1][0-9]\/[0-3][0-9](일)?|[0-1][0-9]월[0-3][0-9]일|(\s)?[0-1][0-9]\.[0-3][0-9]\s|\)[0-3][0-9]일|\s[1-9]\/[0-3][0-9]\s)re";
inline constexpr const char16_t* kDateShortMonthDay =
    uR"re(\s?(1)?[0-9]\/([1-3])?[0-9]\s)re";
inline constexpr const char16_t* kScGalleriaDate =
    uR"re((\s[0-1][0-9][0-3][0-9]\s)|\](1)?[0-9]/[0-3][0-9]|\](1)?[0-9]/[1-9]|\s[1-9]/[1-3][0-9]\s|\s[1-9]/[1-9]\s)re";
inline constexpr const char16_t* kKakaoProductName =
    uR"re(\-\s상품명\s\:\s(.){10,50}\;)re";
inline constexpr const char16_t* kKakaoPurchases =
    uR"re(Purchases\son\s[0-9][1-9]\.[0-9][1-9])re";
inline constexpr const char16_t* kKakaoDetails =
    uR"re(상세\s항목은(.){5,50}\s가능해요)re";
inline constexpr const char16_t* kKiwoomDividend =
    uR"re(배당입금\:\s[0-9]{1,3}(,[0-9]{1,3})*(.[0-9]{1,2})?(\s)?(USD|원)?(\s)?\(세전\)|배당입금\s\:\s[0-9]{1,3}.+세후\))re";
inline constexpr const char16_t* kSinhanInvestFinal =
    uR"re(최종\s[0-9]{1,3}(,[0-9]{1,3})*(.[0-9]{1,2})?(\s)?(USD|원)?)re";
inline constexpr const char16_t* kAccountHolderName =
    uR"re(계좌명\s\:\s\S{3})re";
inline constexpr const char16_t* kAppleServiceCompany =
    uR"re(서비스업체\s\:\s((\S){1,10}))re";
inline constexpr const char16_t* kSinhanRate =
    uR"re(금리\s[0-9]{1,3}(,[0-9]{1,3})*(.[0-9]{1,2})?\%)re";
inline constexpr const char16_t* kHansalimLines =
    uR"re(주문번호\s\:\s\d{2,4}|\D{2,10}님\,\s주문이\s완료되었습니다\.|사용액\(충전금\)\s\:|잔\s\s액\(충전금\)\s\:\s[0-9]{1,3}(,[0-9]{1,3})*(.[0-9]{1,2})?원)re";
inline constexpr const char16_t* kMiraeMaskedAccount =
    uR"re(\d{3}\-\d{2}\*{2}\-\*{2}\d{2}\-\d)re";

}  // namespace varnel::kor_patterns
