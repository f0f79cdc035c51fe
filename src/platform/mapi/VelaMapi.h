// The MAPI layer of the Outlook import on top of libpff: Outlook data files (.pst, .ost) are the
// message stores, their contact items are read by their MAPI property tags.
//
// A profile names one data file: either a path (relative paths lie below the application folder,
// "$APP$" is expanded) or a name from custom/mapi-profiles.ini, section [Profiles], whose value is
// such a path. Data files carry no password of their own, so a password is accepted and ignored.
// Entry ids are stable byte strings built from libpff's item identifiers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/Exceptions.h"
#include "rtl/Variants.h"

namespace vela::mapi {

VELA_DECLARE_EXCEPTION(EMapiError, Exception);

// --- property types and tags ---
inline constexpr uint16_t PT_SHORT = 0x0002;
inline constexpr uint16_t PT_LONG = 0x0003;
inline constexpr uint16_t PT_FLOAT = 0x0004;
inline constexpr uint16_t PT_DOUBLE = 0x0005;
inline constexpr uint16_t PT_APPTIME = 0x0007;
inline constexpr uint16_t PT_ERROR = 0x000A;
inline constexpr uint16_t PT_BOOLEAN = 0x000B;
inline constexpr uint16_t PT_I8 = 0x0014;
inline constexpr uint16_t PT_STRING8 = 0x001E;
inline constexpr uint16_t PT_UNICODE = 0x001F;
inline constexpr uint16_t PT_SYSTIME = 0x0040;
inline constexpr uint16_t PT_BINARY = 0x0102;

constexpr uint32_t PROP_TAG(uint16_t type, uint16_t id) {
  return (uint32_t{id} << 16) | type;
}
constexpr uint16_t PROP_TYPE(uint32_t tag) {
  return static_cast<uint16_t>(tag & 0xFFFF);
}
constexpr uint16_t PROP_ID(uint32_t tag) {
  return static_cast<uint16_t>(tag >> 16);
}

inline constexpr uint32_t PR_DISPLAY_NAME = PROP_TAG(PT_UNICODE, 0x3001);
inline constexpr uint32_t PR_BODY = PROP_TAG(PT_UNICODE, 0x1000);
inline constexpr uint32_t PR_CONTAINER_CLASS = PROP_TAG(PT_UNICODE, 0x3613);
inline constexpr uint32_t PR_MESSAGE_CLASS = PROP_TAG(PT_UNICODE, 0x001A);
inline constexpr uint16_t PT_CLSID = 0x0048;
inline constexpr uint32_t PR_CONTACT_VERSION = PROP_TAG(PT_CLSID, 0x3A0C);
inline constexpr uint32_t PR_GIVEN_NAME = PROP_TAG(PT_UNICODE, 0x3A06);
inline constexpr uint32_t PR_SURNAME = PROP_TAG(PT_UNICODE, 0x3A11);
inline constexpr uint32_t PR_NICKNAME = PROP_TAG(PT_UNICODE, 0x3A4F);
inline constexpr uint32_t PR_COMPANY_NAME = PROP_TAG(PT_UNICODE, 0x3A16);
inline constexpr uint32_t PR_BIRTHDAY = PROP_TAG(PT_SYSTIME, 0x3A42);
inline constexpr uint32_t PR_MIDDLE_NAME = PROP_TAG(PT_UNICODE, 0x3A44);
inline constexpr uint32_t PR_DISPLAY_NAME_PREFIX = PROP_TAG(PT_UNICODE, 0x3A45);
inline constexpr uint32_t PR_GENERATION = PROP_TAG(PT_UNICODE, 0x3A05);
inline constexpr uint32_t PR_TITLE = PROP_TAG(PT_UNICODE, 0x3A17);
inline constexpr uint32_t PR_GENDER = PROP_TAG(PT_SHORT, 0x3A4D);
inline constexpr uint32_t PR_HOME_TELEPHONE_NUMBER = PROP_TAG(PT_UNICODE, 0x3A09);
inline constexpr uint32_t PR_HOME_FAX_NUMBER = PROP_TAG(PT_UNICODE, 0x3A25);
inline constexpr uint32_t PR_MOBILE_TELEPHONE_NUMBER = PROP_TAG(PT_UNICODE, 0x3A1C);
inline constexpr uint32_t PR_BUSINESS_TELEPHONE_NUMBER = PROP_TAG(PT_UNICODE, 0x3A08);
inline constexpr uint32_t PR_BUSINESS_FAX_NUMBER = PROP_TAG(PT_UNICODE, 0x3A24);
inline constexpr uint32_t PR_OFFICE2_TELEPHONE_NUMBER = PROP_TAG(PT_UNICODE, 0x3A1B);
inline constexpr uint32_t PR_HOME_ADDRESS_STREET = PROP_TAG(PT_UNICODE, 0x3A5D);
inline constexpr uint32_t PR_HOME_ADDRESS_CITY = PROP_TAG(PT_UNICODE, 0x3A59);
inline constexpr uint32_t PR_HOME_ADDRESS_POSTAL_CODE = PROP_TAG(PT_UNICODE, 0x3A5B);
inline constexpr uint32_t PR_HOME_ADDRESS_COUNTRY = PROP_TAG(PT_UNICODE, 0x3A5A);
inline constexpr uint32_t PR_HOME_ADDRESS_POST_OFFICE_BOX = PROP_TAG(PT_UNICODE, 0x3A5E);
inline constexpr uint32_t PR_BUSINESS_ADDRESS_STREET = PROP_TAG(PT_UNICODE, 0x3A29);
inline constexpr uint32_t PR_BUSINESS_ADDRESS_CITY = PROP_TAG(PT_UNICODE, 0x3A27);
inline constexpr uint32_t PR_BUSINESS_ADDRESS_POSTAL_CODE = PROP_TAG(PT_UNICODE, 0x3A2A);
inline constexpr uint32_t PR_BUSINESS_ADDRESS_COUNTRY = PROP_TAG(PT_UNICODE, 0x3A26);
inline constexpr uint32_t PR_BUSINESS_ADDRESS_POST_OFFICE_BOX = PROP_TAG(PT_UNICODE, 0x3A2B);
// MAPI defines the business address through these same tags.
inline constexpr uint32_t PR_STREET_ADDRESS = PR_BUSINESS_ADDRESS_STREET;
inline constexpr uint32_t PR_LOCALITY = PR_BUSINESS_ADDRESS_CITY;
inline constexpr uint32_t PR_POSTAL_CODE = PR_BUSINESS_ADDRESS_POSTAL_CODE;
inline constexpr uint32_t PR_COUNTRY = PR_BUSINESS_ADDRESS_COUNTRY;
inline constexpr uint32_t PR_POST_OFFICE_BOX = PR_BUSINESS_ADDRESS_POST_OFFICE_BOX;
inline constexpr uint32_t PR_BUSINESS_HOME_PAGE = PROP_TAG(PT_UNICODE, 0x3A51);
// Named properties of the address property set, as the data file's name-to-id map resolves
// them (the e-mail addresses of a contact).
inline constexpr uint32_t NPR_CONTACT_EMAILEMAILADDRESS = PROP_TAG(PT_UNICODE, 0x8083);
inline constexpr uint32_t NPR_CONTACT_EMAIL2EMAILADDRESS = PROP_TAG(PT_UNICODE, 0x8093);
inline constexpr uint32_t NPR_CONTACT_EMAIL3EMAILADDRESS = PROP_TAG(PT_UNICODE, 0x80A3);

// Folder code of the default folder for contacts.
inline constexpr int DefaultFolderContacts = 0x200;

using TEntryID = std::string;  // raw bytes

// A property value with the MAPI type it was read as. A missing property gives type PT_ERROR
// and a Null value. Times (PT_SYSTIME) are UTC.
struct TMapiValue {
  uint16_t Type = PT_ERROR;
  Variant Value = Variant::MakeNull();
  bool IsError() const noexcept { return Type == PT_ERROR; }
};

class TMapiFile;

// An item opened read-only.
class TMapiProp {
 public:
  virtual ~TMapiProp() = default;
  // Reads the property with the id of Tag; its type comes from the data file (an 8-bit string
  // is read for a Unicode tag and vice versa).
  virtual TMapiValue GetProp(uint32_t Tag) const = 0;
};

// The contact items of a folder, row by row.
class TMapiTable {
 public:
  virtual ~TMapiTable() = default;
  virtual int RowCount() const = 0;
  virtual void MoveFirst() = 0;
  virtual void Next() = 0;
  virtual bool Eof() const = 0;
  // The item at the current row.
  virtual std::unique_ptr<TMapiProp> OpenRow() const = 0;
};

class TMapiFolder {
 public:
  virtual ~TMapiFolder() = default;
  virtual TEntryID EntryID() const = 0;
  virtual std::string DisplayName() const = 0;
  virtual std::unique_ptr<TMapiTable> ContentTable() const = 0;
};

class TMapiMsgStore {
 public:
  virtual ~TMapiMsgStore() = default;
  virtual TEntryID EntryID() const = 0;
  virtual std::string DisplayName() const = 0;
  // Raises EMapiError when the store has no such folder.
  virtual std::unique_ptr<TMapiFolder> OpenFolder(const TEntryID& FolderID) const = 0;
  // For DefaultFolderContacts: the first folder of container class IPF.Contact in depth-first
  // order. Raises EMapiError for other codes and when there is none.
  virtual std::unique_ptr<TMapiFolder> OpenDefaultFolder(int FolderCode) const = 0;
};

// A logon to a profile. Logon opens the profile's data file; Deactivate closes it.
class TMapiSession {
 public:
  TMapiSession();
  ~TMapiSession();
  TMapiSession(const TMapiSession&) = delete;
  TMapiSession& operator=(const TMapiSession&) = delete;

  std::string ProfileName;
  std::string Password;

  // ShowDialog: a logon dialog may be offered (on the main thread only); this layer has none,
  // so the profile must suffice. Raises EMapiError when no profile is given or the file cannot
  // be opened.
  void Logon(bool ShowDialog = false);
  void Deactivate();
  bool Active() const noexcept { return FFile != nullptr; }

  // The profile's store when StoreID is empty or equals its entry id; raises otherwise.
  std::unique_ptr<TMapiMsgStore> OpenMsgStore(const TEntryID& StoreID = {}) const;

 private:
  std::shared_ptr<TMapiFile> FFile;
};

// The data file a profile names (see the top of this unit); does not check that it exists.
std::string ResolveProfile(std::string_view ProfileName);

// A FILETIME (100 ns since 1601, UTC) as TDateTime in UTC.
TDateTime FileTimeToDateTime(uint64_t FileTime);
// UTC to local time.
TDateTime MapiUTCToLocal(TDateTime UTC);

// The folder listing of a data file: a first line "store <hex id> <display name>", then one
// line per folder "<hex id>\t<contact items>\t<path>", path parts joined by "/", depth first.
std::string ListStoreFolders(const std::string& FileName);

}  // namespace vela::mapi
