#include "platform/mapi/VelaMapi.h"

#include <libpff.h>

#include <cstdio>
#include <functional>

#include "rtl/CodePages.h"
#include "rtl/DateUtils.h"
#include "rtl/Encoders.h"
#include "rtl/FileUtils.h"
#include "rtl/IniFiles.h"
#include "rtl/SysUtils.h"

namespace vela::mapi {

class TMapiFile {
 public:
  libpff_file_t* Handle = nullptr;
  ~TMapiFile() {
    if (Handle) {
      libpff_file_close(Handle, nullptr);
      libpff_file_free(&Handle, nullptr);
    }
  }
};

namespace {

// libpff error to text (and frees it).
std::string TakeError(libpff_error_t*& error) {
  std::string text;
  if (error) {
    char buffer[1024];
    if (libpff_error_sprint(error, buffer, sizeof buffer) > 0) text = buffer;
    libpff_error_free(&error);
  }
  return text;
}

[[noreturn]] void RaisePff(const std::string& what, libpff_error_t*& error) {
  const std::string detail = TakeError(error);
  throw EMapiError(detail.empty() ? what : what + ": " + detail);
}

struct TItemDeleter {
  void operator()(libpff_item_t* item) const { libpff_item_free(&item, nullptr); }
};
using TItem = std::unique_ptr<libpff_item_t, TItemDeleter>;

struct TRecordSetDeleter {
  void operator()(libpff_record_set_t* rs) const { libpff_record_set_free(&rs, nullptr); }
};
struct TRecordEntryDeleter {
  void operator()(libpff_record_entry_t* e) const { libpff_record_entry_free(&e, nullptr); }
};

uint32_t ItemIdentifier(libpff_item_t* item) {
  uint32_t id = 0;
  libpff_item_get_identifier(item, &id, nullptr);
  return id;
}

// Entry ids: a kind byte ('S' store, 'F' folder) and the item identifier, little endian.
TEntryID MakeEntryID(char kind, uint32_t identifier) {
  TEntryID id(1, kind);
  for (int i = 0; i < 4; ++i)
    id.push_back(static_cast<char>((identifier >> (8 * i)) & 0xFF));
  return id;
}

bool ParseEntryID(const TEntryID& id, char kind, uint32_t& identifier) {
  if (id.size() != 5 || id[0] != kind) return false;
  identifier = 0;
  for (int i = 0; i < 4; ++i)
    identifier |= uint32_t{static_cast<uint8_t>(id[1 + i])} << (8 * i);
  return true;
}

// Reads one property of an item's first record set by its id. 8-bit strings are decoded with
// codePage when it is set, else with the data file's code page.
TMapiValue ReadProp(libpff_item_t* item, uint32_t tag, int codePage = 0) {
  TMapiValue result;
  libpff_record_set_t* rawSet = nullptr;
  if (libpff_item_get_record_set_by_index(item, 0, &rawSet, nullptr) != 1) return result;
  std::unique_ptr<libpff_record_set_t, TRecordSetDeleter> set(rawSet);
  libpff_record_entry_t* rawEntry = nullptr;
  if (libpff_record_set_get_entry_by_type(set.get(), PROP_ID(tag), 0, &rawEntry,
                                          LIBPFF_ENTRY_VALUE_FLAG_MATCH_ANY_VALUE_TYPE,
                                          nullptr) != 1)
    return result;
  std::unique_ptr<libpff_record_entry_t, TRecordEntryDeleter> entry(rawEntry);
  uint32_t valueType = 0;
  if (libpff_record_entry_get_value_type(entry.get(), &valueType, nullptr) != 1) return result;
  libpff_record_entry_t* e = entry.get();
  switch (valueType) {
    case PT_STRING8:
      if (codePage > 0) {
        size_t size = 0;
        if (libpff_record_entry_get_data_size(e, &size, nullptr) != 1) return result;
        std::string bytes(size, '\0');
        if (size > 0 && libpff_record_entry_get_data(e, reinterpret_cast<uint8_t*>(bytes.data()),
                                                     size, nullptr) != 1)
          return result;
        while (!bytes.empty() && bytes.back() == '\0')
          bytes.pop_back();
        result.Value = Variant(CodePageToUtf8(bytes, codePage));
        break;
      }
      [[fallthrough]];
    case PT_UNICODE: {
      size_t size = 0;
      if (libpff_record_entry_get_data_as_utf8_string_size(e, &size, nullptr) != 1) return result;
      std::string text(size, '\0');
      if (size > 0 && libpff_record_entry_get_data_as_utf8_string(
                          e, reinterpret_cast<uint8_t*>(text.data()), size, nullptr) != 1)
        return result;
      if (!text.empty() && text.back() == '\0') text.pop_back();
      result.Value = Variant(std::move(text));
      break;
    }
    case PT_SHORT: {
      uint16_t v = 0;
      if (libpff_record_entry_get_data_as_16bit_integer(e, &v, nullptr) != 1) return result;
      result.Value = Variant(static_cast<int16_t>(v));
      break;
    }
    case PT_LONG: {
      uint32_t v = 0;
      if (libpff_record_entry_get_data_as_32bit_integer(e, &v, nullptr) != 1) return result;
      result.Value = Variant(static_cast<int32_t>(v));
      break;
    }
    case PT_I8: {
      uint64_t v = 0;
      if (libpff_record_entry_get_data_as_64bit_integer(e, &v, nullptr) != 1) return result;
      result.Value = Variant(static_cast<int64_t>(v));
      break;
    }
    case PT_BOOLEAN: {
      uint8_t v = 0;
      if (libpff_record_entry_get_data_as_boolean(e, &v, nullptr) != 1) return result;
      result.Value = Variant(v != 0);
      break;
    }
    case PT_FLOAT:
    case PT_DOUBLE: {
      double v = 0;
      if (libpff_record_entry_get_data_as_floating_point(e, &v, nullptr) != 1) return result;
      result.Value = Variant(v);
      break;
    }
    case PT_SYSTIME: {
      uint64_t v = 0;
      if (libpff_record_entry_get_data_as_filetime(e, &v, nullptr) != 1) return result;
      result.Value = Variant::FromDateTime(FileTimeToDateTime(v));
      break;
    }
    default: {
      size_t size = 0;
      if (libpff_record_entry_get_data_size(e, &size, nullptr) != 1) return result;
      std::string bytes(size, '\0');
      if (size > 0 && libpff_record_entry_get_data(e, reinterpret_cast<uint8_t*>(bytes.data()),
                                                   size, nullptr) != 1)
        return result;
      if (valueType == PT_CLSID && size == 16) {
        const auto* b = reinterpret_cast<const uint8_t*>(bytes.data());
        char text[40];
        std::snprintf(text, sizeof text,
                      "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                      b[3], b[2], b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11],
                      b[12], b[13], b[14], b[15]);
        result.Value = Variant(std::string(text));
      } else {
        result.Value = Variant::FromBytes(bytes);
      }
      break;
    }
  }
  result.Type = static_cast<uint16_t>(valueType);
  return result;
}

std::string ItemText(libpff_item_t* item, uint32_t tag) {
  TMapiValue v = ReadProp(item, tag);
  return v.IsError() ? std::string() : VarToStr(v.Value);
}

bool IsContact(libpff_item_t* item) {
  uint8_t type = 0;
  return libpff_item_get_type(item, &type, nullptr) == 1 && type == LIBPFF_ITEM_TYPE_CONTACT;
}

// The Windows code page in which Outlook stores the 8-bit strings of a message whose internet
// code page (a mail charset) is given.
int AnsiCodePageOfInternetCodePage(int cp) {
  switch (cp) {
    case 50220:
    case 50221:
    case 50222:
    case 51932:
    case 20932:
      return 932;
    case 51949:
    case 50225:
      return 949;
    case 52936:
    case 20936:
    case 54936:
      return 936;
    case 51950:
      return 950;
    case 28592:
      return 1250;
    case 28595:
    case 20866:
    case 21866:
      return 1251;
    case 28591:
    case 28605:
    case 20127:
      return 1252;
    case 28597:
      return 1253;
    case 28599:
      return 1254;
    case 28598:
      return 1255;
    case 28596:
      return 1256;
    case 28594:
    case 28603:
      return 1257;
    default:
      return cp;
  }
}

// The code page of an item's 8-bit strings: its message code page, else the one that goes with
// its internet code page; 0 when it names neither.
int ItemCodePage(libpff_item_t* item) {
  for (uint16_t id : {uint16_t{0x3FFD}, uint16_t{0x3FDE}}) {
    TMapiValue v = ReadProp(item, PROP_TAG(PT_LONG, id));
    if (!v.IsError() && v.Value.IsNumeric() && v.Value.AsInteger() > 0) {
      const int cp =
          id == 0x3FDE ? AnsiCodePageOfInternetCodePage(v.Value.AsInteger()) : v.Value.AsInteger();
      if (cp != 1200 && cp != 65001 && !CodePageName(cp).empty()) return cp;
    }
  }
  return 0;
}

int ContactCount(libpff_item_t* folder) {
  int count = 0, contacts = 0;
  libpff_folder_get_number_of_sub_messages(folder, &count, nullptr);
  for (int i = 0; i < count; ++i) {
    libpff_item_t* raw = nullptr;
    if (libpff_folder_get_sub_message(folder, i, &raw, nullptr) != 1) continue;
    TItem item(raw);
    if (IsContact(item.get())) ++contacts;
  }
  return contacts;
}

class TPffProp final : public TMapiProp {
 public:
  explicit TPffProp(TItem item) : FItem(std::move(item)), FCodePage(ItemCodePage(FItem.get())) {}
  TMapiValue GetProp(uint32_t Tag) const override { return ReadProp(FItem.get(), Tag, FCodePage); }

 private:
  TItem FItem;
  int FCodePage;
};

// The contact items of a folder; the file stays open as long as the table lives.
class TPffTable final : public TMapiTable {
 public:
  TPffTable(std::shared_ptr<TMapiFile> file, libpff_item_t* folder) : FFile(std::move(file)) {
    int count = 0;
    libpff_folder_get_number_of_sub_messages(folder, &count, nullptr);
    for (int i = 0; i < count; ++i) {
      libpff_item_t* raw = nullptr;
      if (libpff_folder_get_sub_message(folder, i, &raw, nullptr) != 1) continue;
      TItem item(raw);
      if (IsContact(item.get())) FRows.push_back(std::move(item));
    }
  }
  int RowCount() const override { return static_cast<int>(FRows.size()); }
  void MoveFirst() override { FRow = 0; }
  void Next() override {
    if (FRow < FRows.size()) ++FRow;
  }
  bool Eof() const override { return FRow >= FRows.size(); }
  std::unique_ptr<TMapiProp> OpenRow() const override {
    if (Eof()) throw EMapiError("No current row");
    libpff_item_t* clone = nullptr;
    libpff_error_t* error = nullptr;
    if (libpff_item_clone(&clone, FRows[FRow].get(), &error) != 1)
      RaisePff("Cannot open the item", error);
    return std::make_unique<TPffProp>(TItem(clone));
  }

 private:
  std::shared_ptr<TMapiFile> FFile;
  std::vector<TItem> FRows;
  size_t FRow = 0;
};

class TPffFolder final : public TMapiFolder {
 public:
  TPffFolder(std::shared_ptr<TMapiFile> file, TItem folder)
      : FFile(std::move(file)), FFolder(std::move(folder)) {}
  TEntryID EntryID() const override { return MakeEntryID('F', ItemIdentifier(FFolder.get())); }
  std::string DisplayName() const override {
    size_t size = 0;
    if (libpff_folder_get_utf8_name_size(FFolder.get(), &size, nullptr) != 1 || size == 0)
      return {};
    std::string name(size, '\0');
    if (libpff_folder_get_utf8_name(FFolder.get(), reinterpret_cast<uint8_t*>(name.data()), size,
                                    nullptr) != 1)
      return {};
    if (!name.empty() && name.back() == '\0') name.pop_back();
    return name;
  }
  std::unique_ptr<TMapiTable> ContentTable() const override {
    return std::make_unique<TPffTable>(FFile, FFolder.get());
  }
  libpff_item_t* Item() const { return FFolder.get(); }

 private:
  std::shared_ptr<TMapiFile> FFile;
  TItem FFolder;
};

// Depth-first walk over the folder tree below the root; Visit returns false to stop.
void WalkFolders(libpff_item_t* folder, const std::string& path,
                 const std::function<bool(libpff_item_t*, const std::string&)>& Visit, bool& stop) {
  int count = 0;
  libpff_folder_get_number_of_sub_folders(folder, &count, nullptr);
  for (int i = 0; i < count && !stop; ++i) {
    libpff_item_t* raw = nullptr;
    if (libpff_folder_get_sub_folder(folder, i, &raw, nullptr) != 1) continue;
    TItem sub(raw);
    size_t size = 0;
    std::string name;
    if (libpff_folder_get_utf8_name_size(sub.get(), &size, nullptr) == 1 && size > 0) {
      name.assign(size, '\0');
      libpff_folder_get_utf8_name(sub.get(), reinterpret_cast<uint8_t*>(name.data()), size,
                                  nullptr);
      if (!name.empty() && name.back() == '\0') name.pop_back();
    }
    const std::string subPath = path.empty() ? name : path + "/" + name;
    if (!Visit(sub.get(), subPath)) {
      stop = true;
      return;
    }
    WalkFolders(sub.get(), subPath, Visit, stop);
  }
}

TItem RootFolder(libpff_file_t* file) {
  libpff_item_t* root = nullptr;
  libpff_error_t* error = nullptr;
  if (libpff_file_get_root_folder(file, &root, &error) != 1)
    RaisePff("The data file has no folders", error);
  return TItem(root);
}

class TPffMsgStore final : public TMapiMsgStore {
 public:
  explicit TPffMsgStore(std::shared_ptr<TMapiFile> file) : FFile(std::move(file)) {
    libpff_item_t* store = nullptr;
    libpff_error_t* error = nullptr;
    if (libpff_file_get_message_store(FFile->Handle, &store, &error) != 1)
      RaisePff("The data file has no message store", error);
    FStore.reset(store);
  }
  TEntryID EntryID() const override { return MakeEntryID('S', ItemIdentifier(FStore.get())); }
  std::string DisplayName() const override { return ItemText(FStore.get(), PR_DISPLAY_NAME); }

  std::unique_ptr<TMapiFolder> OpenFolder(const TEntryID& FolderID) const override {
    uint32_t identifier = 0;
    if (!ParseEntryID(FolderID, 'F', identifier))
      throw EMapiError("Invalid folder entry id " + TextToHex(FolderID));
    libpff_item_t* raw = nullptr;
    if (libpff_file_get_item_by_identifier(FFile->Handle, identifier, &raw, nullptr) != 1 || !raw)
      throw EMapiError("Folder " + TextToHex(FolderID) + " not found");
    TItem item(raw);
    uint8_t type = 0;
    if (libpff_item_get_type(item.get(), &type, nullptr) != 1 || type != LIBPFF_ITEM_TYPE_FOLDER)
      throw EMapiError("Entry " + TextToHex(FolderID) + " is not a folder");
    return std::make_unique<TPffFolder>(FFile, std::move(item));
  }

  std::unique_ptr<TMapiFolder> OpenDefaultFolder(int FolderCode) const override {
    if (FolderCode != DefaultFolderContacts)
      throw EMapiError("Default folder " + std::to_string(FolderCode) + " is not supported");
    TItem root = RootFolder(FFile->Handle);
    uint32_t found = 0;
    bool stop = false;
    WalkFolders(
        root.get(), {},
        [&found](libpff_item_t* folder, const std::string&) {
          if (ItemText(folder, PR_CONTAINER_CLASS).rfind("IPF.Contact", 0) == 0) {
            found = ItemIdentifier(folder);
            return false;
          }
          return true;
        },
        stop);
    if (!stop) {
      // Data files without container classes: the first folder that holds contacts.
      WalkFolders(
          root.get(), {},
          [&found](libpff_item_t* folder, const std::string&) {
            if (ContactCount(folder) == 0) return true;
            found = ItemIdentifier(folder);
            return false;
          },
          stop);
    }
    if (!stop) throw EMapiError("The message store has no contacts folder");
    return OpenFolder(MakeEntryID('F', found));
  }

 private:
  std::shared_ptr<TMapiFile> FFile;
  TItem FStore;
};

}  // namespace

// --- session ---

TMapiSession::TMapiSession() = default;
TMapiSession::~TMapiSession() = default;

std::string ResolveProfile(std::string_view ProfileName) {
  std::string path(ProfileName);
  const std::string iniName = ExpandAppMacro("$APP$/custom/mapi-profiles.ini");
  if (FileExists(iniName)) {
    TMemIniFile ini(iniName);
    path = ini.ReadString("Profiles", ProfileName, ProfileName);
  }
  path = ExpandAppMacro(path);
  if (!path.empty() && path[0] != '/') path = GetApplicationFolder() + "/" + path;
  return path;
}

namespace {
int GuessFileCodePage(libpff_file_t* file) {
  libpff_item_t* rawRoot = nullptr;
  if (libpff_file_get_root_folder(file, &rawRoot, nullptr) != 1) return 0;
  TItem root(rawRoot);
  int codePage = 0;
  bool stop = false;
  WalkFolders(
      root.get(), {},
      [&codePage](libpff_item_t* folder, const std::string&) {
        int count = 0;
        libpff_folder_get_number_of_sub_messages(folder, &count, nullptr);
        for (int i = 0; i < count && i < 8; ++i) {
          libpff_item_t* raw = nullptr;
          if (libpff_folder_get_sub_message(folder, i, &raw, nullptr) != 1) continue;
          TItem item(raw);
          codePage = ItemCodePage(item.get());
          if (codePage > 0) return false;
        }
        return true;
      },
      stop);
  return codePage;
}

std::shared_ptr<TMapiFile> OpenDataFile(const std::string& fileName) {
  auto file = std::make_shared<TMapiFile>();
  libpff_error_t* error = nullptr;
  if (libpff_file_initialize(&file->Handle, &error) != 1)
    RaisePff("Cannot initialise the data file reader", error);
  if (libpff_file_open(file->Handle, fileName.c_str(), LIBPFF_OPEN_READ, &error) != 1) {
    libpff_file_free(&file->Handle, nullptr);
    RaisePff("Cannot open the data file '" + fileName + "'", error);
  }
  uint8_t fileType = 0;
  if (libpff_file_get_type(file->Handle, &fileType, nullptr) == 1 &&
      fileType == LIBPFF_FILE_TYPE_32BIT) {
    // Older files hold 8-bit strings (folder names too) without naming their code page; the
    // first message that names one stands for the file.
    const int codePage = GuessFileCodePage(file->Handle);
    if (codePage > 0) libpff_file_set_ascii_codepage(file->Handle, codePage, nullptr);
  }
  return file;
}
}  // namespace

void TMapiSession::Logon(bool /*ShowDialog*/) {
  Deactivate();
  if (ProfileName.empty()) throw EMapiError("No MAPI profile given");
  FFile = OpenDataFile(ResolveProfile(ProfileName));
}

void TMapiSession::Deactivate() {
  FFile.reset();
}

std::unique_ptr<TMapiMsgStore> TMapiSession::OpenMsgStore(const TEntryID& StoreID) const {
  if (!FFile) throw EMapiError("The MAPI session is not logged on");
  auto store = std::make_unique<TPffMsgStore>(FFile);
  if (!StoreID.empty() && StoreID != store->EntryID())
    throw EMapiError("Message store " + TextToHex(StoreID) + " not found");
  return store;
}

TDateTime FileTimeToDateTime(uint64_t FileTime) {
  // 1601-01-01 is day -109205 of the runtime's calendar; 864e9 ticks of 100 ns per day.
  return -109205.0 + static_cast<double>(FileTime) / 864000000000.0;
}

TDateTime MapiUTCToLocal(TDateTime UTC) {
  return UTCToLocal(UTC);
}

std::string ListStoreFolders(const std::string& FileName) {
  std::shared_ptr<TMapiFile> file = OpenDataFile(FileName);
  TPffMsgStore store(file);
  std::string out = "store " + TextToHex(store.EntryID()) + " " + store.DisplayName() + "\n";
  TItem root = RootFolder(file->Handle);
  bool stop = false;
  WalkFolders(
      root.get(), {},
      [&out](libpff_item_t* folder, const std::string& path) {
        const int contacts = ContactCount(folder);
        out += TextToHex(MakeEntryID('F', ItemIdentifier(folder))) + "\t" +
               std::to_string(contacts) + "\t" + path + "\n";
        return true;
      },
      stop);
  return out;
}

}  // namespace vela::mapi
