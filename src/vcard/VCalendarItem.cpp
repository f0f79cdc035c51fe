#include "vcard/VCalendarItem.h"

#include "rtl/Guid.h"
#include "rtl/SysUtils.h"
#include "vcard/VCardProps.h"

namespace vela {

namespace {
constexpr const char* kBusyStates[] = {"FREE", "TENTATIVE", "BUSY", "OOF"};
constexpr const char* kProductID = "falder vcalendar";
}  // namespace

const char* BusyStateText(TCalBusyState s) {
  return kBusyStates[s];
}

// --- TCustomVCalendarItem ---

uint8_t TCustomVCalendarItem::Version() const {
  if (auto* cal = dynamic_cast<TVCalendar*>(FOwner)) return cal->Version();
  return FVersion;
}

std::string TCustomVCalendarItem::DefaultEncoding() const {
  return Version() == 0 ? "QUOTED-PRINTABLE" : "";
}

void TCustomVCalendarItem::ReadSpecialTag(const TFieldDef& def, const TCardValue& value) {
  if (!SameText(def.Tag, "VERSION")) return;
  static const char* kVersions[] = {"1.0", "2.0", "3.0"};
  std::string v = Trim(value.Data);
  for (uint8_t k = 0; k < 3; ++k)
    if (v == kVersions[k]) {
      FVersion = k;
      if (auto* cal = dynamic_cast<TVCalendar*>(FOwner)) cal->SetVersion(k);
    }
}

std::string TCustomVCalendarItem::GetFixedTagValue(const TFieldDef& def) const {
  if (SameText(def.Tag, "VERSION")) {
    static const char* kVersions[] = {"1.0", "2.0", "3.0"};
    uint8_t v = Version();
    return kVersions[v < 3 ? v : 0];
  }
  return def.FixedValue;
}

std::string TCustomVCalendarItem::WriteDate(TDateTime value, const TFieldDef& def) const {
  return CardDateTimeToYYYYMMDDFmt(value, def.DateWithTime, def.DateAsUTC);
}

std::string TCustomVCalendarItem::WriteDateTime(TDateTime value, const TFieldDef& def) const {
  return CardDateTimeToYYYYMMDDFmt(value, def.DateWithTime, def.DateAsUTC);
}

// --- time zone texts ---

std::string TimeZoneBiasToText(int bias) {
  if (bias == 0) return {};
  int a = bias < 0 ? -bias : bias;
  char buf[16];
  std::snprintf(buf, sizeof buf, "%c%02d:%02d", bias < 0 ? '-' : '+', a / 60, a % 60);
  return buf;
}

int TextToTimeZoneBias(std::string_view text) {
  if (text.empty()) return 0;
  bool negative = text[0] == '-';
  int hours = 0;
  int minutes = 0;
  size_t colon = text.find(':');
  auto part = [&](size_t pos, size_t len) {
    return pos < text.size() ? StrToIntDef(text.substr(pos, len), 0) : 0;
  };
  if (colon != std::string_view::npos) {
    hours = colon > 1 ? StrToIntDef(text.substr(1, colon - 1), 0) : 0;
    minutes = part(colon + 1, 2);
  } else {
    hours = part(1, 2);
    minutes = part(3, 2);
  }
  int bias = hours * 60 + minutes;
  return negative ? -bias : bias;
}

// --- TVCalendarBaseData ---

const TCardItemClassInfo TVCalendarBaseData::ClassInfo = {
    "TVCalendarBaseData",
    &TVCalendarBaseData::Properties,
    [](TCustomCard* owner) -> std::unique_ptr<TCustomCardItem> {
      return std::make_unique<TVCalendarBaseData>(owner);
    },
    [](std::string_view line) { return PosText("BEGIN:VCALENDAR", line) != line.npos; },
    [](std::string_view line) { return PosText("END:VCALENDAR", line) != line.npos; },
    &TVCalendarBaseData::BuildFieldDef,
};

TVCalendarBaseData::TVCalendarBaseData(TCustomCard* owner)
    : TCustomVCalendarItem(owner, &ClassInfo) {
  try {
    LocalTimeZoneBias = CurrentTimeZoneBias();
  } catch (const std::exception&) {
    LocalTimeZoneBias = 0;
  }
}

const TCardPropertyTable& TVCalendarBaseData::Properties() {
  using C = TVCalendarBaseData;
  static const TCardPropertyTable table = {
      VC_STR_FIELD(C, ProductID),
      VC_INT_FIELD(C, TimeZoneBias),
      VC_INT_FIELD(C, LocalTimeZoneBias),
  };
  return table;
}

void TVCalendarBaseData::BuildFieldDef(TCardFieldDefList& l) {
  l.Add("BEGIN", "", fdkHeader, "VCALENDAR", "");
  l.Add("VERSION", "", fdkData, "", "");
  l.Add("PRODID", "", fdkData, "", "ProductID");
  l.Add("TZ", "", fdkData, "", "");
  l.Add("END", "", fdkFooter, "VCALENDAR", "");
}

void TVCalendarBaseData::ReadSpecialTag(const TFieldDef& def, const TCardValue& value) {
  if (SameText(def.Tag, "TZ"))
    TimeZoneBias = TextToTimeZoneBias(Trim(value.Data));
  else
    TCustomVCalendarItem::ReadSpecialTag(def, value);
}

std::string TVCalendarBaseData::GetFixedTagValue(const TFieldDef& def) const {
  if (SameText(def.Tag, "TZ")) return TimeZoneBiasToText(TimeZoneBias);
  return TCustomVCalendarItem::GetFixedTagValue(def);
}

void TVCalendarBaseData::BeforeWrite() {
  if (ProductID.empty()) ProductID = kProductID;
}

// --- TVCalendarItem ---

const TCardItemClassInfo TVCalendarItem::ClassInfo = {
    "TVCalendarItem",
    &TVCalendarItem::Properties,
    [](TCustomCard* owner) -> std::unique_ptr<TCustomCardItem> {
      return std::make_unique<TVCalendarItem>(owner);
    },
    &TVCalendarItem::GetIsHeaderStart,
    &TVCalendarItem::GetIsFooterEnd,
    &TVCalendarItem::BuildFieldDef,
};

TVCalendarItem::TVCalendarItem(TCustomCard* owner) : TCustomVCalendarItem(owner, &ClassInfo) {}

bool TVCalendarItem::GetIsHeaderStart(std::string_view line) {
  return ContainsBoundaryText(line, "BEGIN:VEVENT");
}

bool TVCalendarItem::GetIsFooterEnd(std::string_view line) {
  return ContainsBoundaryText(line, "END:VEVENT");
}

const TCardPropertyTable& TVCalendarItem::Properties() {
  using C = TVCalendarItem;
  static const TCardPropertyTable table = {
      VC_STR_FIELD(C, UID),
      VC_STR_FIELD(C, Organizer),
      VC_STR_FIELD(C, Caption),
      VC_STR_FIELD(C, Description),
      VC_STR_FIELD(C, Location),
      VC_LIST_FIELD(C, Categories),
      VC_LIST_FIELD(C, Resources),
      VC_STR_FIELD(C, AccessClass),
      VC_DATE_PROP(C, Start, Start, SetStart),
      VC_DATE_PROP(C, Finish, Finish, SetFinish),
      VC_DATE_FIELD(C, LastModified, cftDateTime, "TDateTime"),
      VC_DATE_FIELD(C, Alarm, cftDateTime, "TDateTime"),
      VC_INT_FIELD(C, Priority),
      VC_STR_FIELD(C, Status),
      VC_ENUM_FIELD(C, BusyState, TCalBusyState),
      VC_BOOL_FIELD(C, Transparency),
      VC_BOOL_FIELD(C, AllDayEvent),
      VC_OBJ_FIELD(C, Recurrence, "TVCalendarRecurrenceInfo"),
      VC_DATE_PROP(C, LocalStart, LocalStart, SetLocalStart),
      VC_DATE_PROP(C, LocalFinish, LocalFinish, SetLocalFinish),
      VC_DATE_PROP(C, LocalLastModified, LocalLastModified, SetLocalLastModified),
      VC_DATE_PROP(C, LocalAlarm, LocalAlarm, SetLocalAlarm),
  };
  return table;
}

void TVCalendarItem::BuildFieldDef(TCardFieldDefList& l) {
  l.Add("BEGIN", "", fdkHeader, "VEVENT", "");
  l.Add("UID", "", fdkData, "", "UID");
  l.Add("ORGANIZER", "", fdkData, "", "Organizer");
  l.Add("SUMMARY", "", fdkData, "", "Caption", "", "utf-8");
  l.Add("DESCRIPTION", "", fdkData, "", "Description", "", "utf-8", true);
  l.Add("LOCATION", "", fdkData, "", "Location", "", "utf-8");
  l.Add("CATEGORIES", "", fdkData, "", "Categories", "", "utf-8");
  l.Add("RESOURCES", "", fdkData, "", "Resources", "", "utf-8");
  l.Add("CLASS", "", fdkData, "", "AccessClass");
  l.Add("DTSTART", "", fdkData, "", "Start");
  l.Add("DTEND", "", fdkData, "", "Finish");
  l.Add("PRIORITY", "", fdkData, "", "Priority");
  l.Add("STATUS", "", fdkData, "", "Status");
  l.Add("BUSYSTATUS", "", fdkData, "", "");
  l.Add("X-MICROSOFT-CDO-BUSYSTATUS", "", fdkData, "", "");
  l.Add("RRULE", "", fdkData, "", "");
  l.Add("TRANSP", "", fdkData, "", "");
  l.Add("LAST-MODIFIED", "", fdkData, "", "LastModified");
  l.Add("X-FUNAMBOL-ALLDAY", "", fdkData, "", "AllDayEvent");
  l.Add("X-MICROSOFT-CDO-ALLDAYEVENT", "", fdkData, "", "AllDayEvent");
  l.Add("AALARM", "", fdkData, "", "Alarm");
  l.Add("END", "", fdkFooter, "VEVENT", "");
}

TDateTime TVCalendarItem::Start() const {
  if (AllDayEvent && FStart > MinDateTime) return DateOf(UTCToLocal(FStart));
  return FStart;
}

TDateTime TVCalendarItem::Finish() const {
  if (AllDayEvent && FFinish > MinDateTime) return DateOf(FFinish);
  return FFinish;
}

namespace {
TDateTime ToLocal(TDateTime utc) {
  return utc > MinDateTime ? UTCToLocal(utc) : utc;
}
TDateTime ToUTC(TDateTime local) {
  return local > MinDateTime ? LocalToUTC(local) : local;
}
}  // namespace

TDateTime TVCalendarItem::LocalStart() const {
  TDateTime v = ToLocal(FStart);
  return AllDayEvent && v > MinDateTime ? DateOf(v) : v;
}
void TVCalendarItem::SetLocalStart(TDateTime v) {
  FStart = ToUTC(v);
}

TDateTime TVCalendarItem::LocalFinish() const {
  TDateTime v = ToLocal(FFinish);
  return AllDayEvent && v > MinDateTime ? DateOf(v) : v;
}
void TVCalendarItem::SetLocalFinish(TDateTime v) {
  FFinish = ToUTC(v);
}

TDateTime TVCalendarItem::LocalLastModified() const {
  return ToLocal(LastModified);
}
void TVCalendarItem::SetLocalLastModified(TDateTime v) {
  LastModified = ToUTC(v);
}
TDateTime TVCalendarItem::LocalAlarm() const {
  return ToLocal(Alarm);
}
void TVCalendarItem::SetLocalAlarm(TDateTime v) {
  Alarm = ToUTC(v);
}

void TVCalendarItem::ReadSpecialTag(const TFieldDef& def, const TCardValue& value) {
  std::string v = Trim(value.Data);
  if (SameText(def.Tag, "BUSYSTATUS") || SameText(def.Tag, "X-MICROSOFT-CDO-BUSYSTATUS")) {
    BusyState = cbsFree;
    for (int k = 0; k < 4; ++k)
      if (v == kBusyStates[k]) BusyState = static_cast<TCalBusyState>(k);
  } else if (SameText(def.Tag, "TRANSP")) {
    Transparency = v == "TRANSPARENT" || v == "1";
  } else if (SameText(def.Tag, "RRULE")) {
    Recurrence.FromRRule(v);
  } else {
    TCustomVCalendarItem::ReadSpecialTag(def, value);
  }
}

std::string TVCalendarItem::GetFixedTagValue(const TFieldDef& def) const {
  if (SameText(def.Tag, "BUSYSTATUS") || SameText(def.Tag, "X-MICROSOFT-CDO-BUSYSTATUS"))
    return kBusyStates[BusyState];
  if (SameText(def.Tag, "TRANSP")) return Transparency ? "TRANSPARENT" : "OPAQUE";
  if (SameText(def.Tag, "RRULE")) return Recurrence.ToRRule();
  return TCustomVCalendarItem::GetFixedTagValue(def);
}

void TVCalendarItem::BeforeWrite() {
  if (AccessClass.empty()) AccessClass = "PUBLIC";
  if (Version() > 0 && UID.empty()) {
    std::string g = GUIDToString(CreateGUID());
    UID = g.substr(1, g.size() - 2);
  }
}

void TVCalendarItem::AfterParse() {
  if (!AllDayEvent && TimeOf(Start()) == 0 && TimeOf(Finish()) == 0) AllDayEvent = true;
  if (Recurrence.Enabled && Recurrence.Recurrence == calrYearly && Recurrence.DayNumber == 0 &&
      FStart > MinDateTime)
    Recurrence.DayNumber = DayOf(Start());
}

// --- TVCalendar ---

TVCalendar::TVCalendar()
    : TCustomCard(&TVCalendarItem::ClassInfo),
      FBaseData(std::make_unique<TVCalendarBaseData>(this)) {}

TVCalendar::~TVCalendar() = default;

void TVCalendar::Clear() {
  TCustomCard::Clear();
  FBaseData = std::make_unique<TVCalendarBaseData>(this);
}

TVCalendarItem& TVCalendar::CreateEvent() {
  return static_cast<TVCalendarItem&>(Items().Add(std::make_unique<TVCalendarItem>(this)));
}

void TVCalendar::ReadEnvelope(const std::vector<std::string>& lines) {
  FBaseData->ParseCardLines(lines);
}

void TVCalendar::WriteHeader(TCardFormatDataBuffer& buffer) {
  FBaseData->WriteToDataBuffer(buffer, {}, FieldDefKindBit(fdkHeader) | FieldDefKindBit(fdkData));
}

void TVCalendar::WriteFooter(TCardFormatDataBuffer& buffer) {
  FBaseData->WriteToDataBuffer(buffer, {}, FieldDefKindBit(fdkFooter));
}

}  // namespace vela
