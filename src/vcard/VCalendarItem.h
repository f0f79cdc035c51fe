// vCalendar files: the envelope (BEGIN:VCALENDAR ... END:VCALENDAR) and its events.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "vcard/VCalendarRecurrence.h"
#include "vcard/VCardItem.h"

namespace vela {

class TVCalendar;
class TVCalendarItem;

enum TCalBusyState { cbsFree, vbcTentative, cbsBusy, cbsOutOfOffice };
// "FREE", "TENTATIVE", "BUSY", "OOF".
const char* BusyStateText(TCalBusyState s);

// Text items of a calendar: the version comes from the owning TVCalendar (0 = "1.0",
// 1 = "2.0", 2 = "3.0").
class TCustomVCalendarItem : public TCustomTextCardItem {
 public:
  using TCustomTextCardItem::TCustomTextCardItem;
  uint8_t Version() const;
  std::string DefaultEncoding() const override;
  void ReadSpecialTag(const TFieldDef& def, const TCardValue& value) override;
  std::string GetFixedTagValue(const TFieldDef& def) const override;
  std::string WriteDate(TDateTime value, const TFieldDef& def) const override;
  std::string WriteDateTime(TDateTime value, const TFieldDef& def) const override;

 protected:
  bool EscapesNewlines() const override { return Version() > 0; }
  bool FoldsOutput() const override { return Version() > 0; }
  char ContinuationPrefix() const override { return '\t'; }

 private:
  uint8_t FVersion = 0;  // used without an owner
};

// The envelope: product id and time zone.
class TVCalendarBaseData : public TCustomVCalendarItem {
 public:
  explicit TVCalendarBaseData(TCustomCard* owner);
  static const TCardItemClassInfo ClassInfo;
  static const TCardPropertyTable& Properties();
  static void BuildFieldDef(TCardFieldDefList& list);

  std::string ProductID;
  int TimeZoneBias = 0;       // minutes, what the TZ line carries
  int LocalTimeZoneBias = 0;  // minutes to add to local time to get UTC, from the system

  void ReadSpecialTag(const TFieldDef& def, const TCardValue& value) override;
  std::string GetFixedTagValue(const TFieldDef& def) const override;

 protected:
  void BeforeWrite() override;
};

// TZ texts: "+05:30" / "-05:00" for a bias in minutes (nothing for 0), and back.
std::string TimeZoneBiasToText(int bias);
int TextToTimeZoneBias(std::string_view text);

// One event: BEGIN:VEVENT to END:VEVENT. Times are stored in UTC.
class TVCalendarItem : public TCustomVCalendarItem {
 public:
  explicit TVCalendarItem(TCustomCard* owner);
  static const TCardItemClassInfo ClassInfo;
  static const TCardPropertyTable& Properties();
  static bool GetIsHeaderStart(std::string_view line);
  static bool GetIsFooterEnd(std::string_view line);
  static void BuildFieldDef(TCardFieldDefList& list);

  std::string UID, Organizer, Caption, Description, Location;
  TStringList Categories, Resources;
  std::string AccessClass;
  TDateTime LastModified = MinDateTime;
  TDateTime Alarm = MinDateTime;
  int Priority = 0;
  std::string Status;
  TCalBusyState BusyState = cbsFree;
  bool Transparency = false;
  bool AllDayEvent = false;
  TVCalendarRecurrenceInfo Recurrence;

  // For an all-day event: the local date of the start; else the stored UTC value.
  TDateTime Start() const;
  void SetStart(TDateTime v) { FStart = v; }
  // For an all-day event: the stored value cut to its date; else the stored value.
  TDateTime Finish() const;
  void SetFinish(TDateTime v) { FFinish = v; }
  // The stored values in the system's local time (with the all-day rule for start and finish);
  // setting converts from local time to UTC.
  TDateTime LocalStart() const;
  void SetLocalStart(TDateTime v);
  TDateTime LocalFinish() const;
  void SetLocalFinish(TDateTime v);
  TDateTime LocalLastModified() const;
  void SetLocalLastModified(TDateTime v);
  TDateTime LocalAlarm() const;
  void SetLocalAlarm(TDateTime v);
  // The stored UTC values without the all-day rule.
  TDateTime StoredStart() const { return FStart; }
  TDateTime StoredFinish() const { return FFinish; }

  void ReadSpecialTag(const TFieldDef& def, const TCardValue& value) override;
  std::string GetFixedTagValue(const TFieldDef& def) const override;

 protected:
  void BeforeWrite() override;
  void AfterParse() override;

 private:
  TDateTime FStart = MinDateTime;
  TDateTime FFinish = MinDateTime;
};

// A card of calendar events with its envelope.
class TVCalendar : public TCustomCard {
 public:
  TVCalendar();
  ~TVCalendar() override;
  // 0 = "1.0" (default), 1 = "2.0", 2 = "3.0".
  uint8_t Version() const { return FVersion; }
  void SetVersion(uint8_t v) { FVersion = v; }
  TVCalendarBaseData& BaseData() { return *FBaseData; }
  // Drops the events and replaces the envelope with a fresh one.
  void Clear() override;
  TVCalendarItem& CreateEvent();

 protected:
  void ReadEnvelope(const std::vector<std::string>& lines) override;
  void WriteHeader(TCardFormatDataBuffer& buffer) override;
  void WriteFooter(TCardFormatDataBuffer& buffer) override;

 private:
  uint8_t FVersion = 0;
  std::unique_ptr<TVCalendarBaseData> FBaseData;
};

}  // namespace vela
