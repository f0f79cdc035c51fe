#include "ImportEngine/QImport2DBF.h"

#include <shapefil.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "rtl/CodePages.h"
#include "rtl/SysUtils.h"

namespace vela {

namespace {

struct TDBFCloser {
  void operator()(DBFInfo* h) const noexcept { DBFClose(h); }
};
struct TFileCloser {
  void operator()(FILE* f) const noexcept { std::fclose(f); }
};
using TFilePtr = std::unique_ptr<FILE, TFileCloser>;

uint32_t Le32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint32_t Be32(const unsigned char* p) {
  return uint32_t(p[3]) | uint32_t(p[2]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[0]) << 24;
}

// Reads the memo blocks of a .dbt (dBase III or IV) or .fpt (FoxPro) file.
class TMemoFile {
 public:
  enum TKind { mkDBase3, mkDBase4, mkFoxPro };

  TMemoFile(const std::filesystem::path& Path, TKind Kind) : FKind(Kind) {
    FFile.reset(std::fopen(Path.c_str(), "rb"));
    if (!FFile) throw EQImportError("Cannot open memo file '" + Path.string() + "'");
    unsigned char header[32] = {};
    size_t n = std::fread(header, 1, sizeof header, FFile.get());
    if (FKind == mkFoxPro) {
      FBlockSize = n >= 8 ? (uint32_t(header[6]) << 8 | header[7]) : 64;
      if (FBlockSize == 0) FBlockSize = 64;
    } else if (FKind == mkDBase4) {
      FBlockSize = n >= 22 ? (uint32_t(header[20]) | uint32_t(header[21]) << 8) : 512;
      if (FBlockSize == 0) FBlockSize = 512;
    } else {
      FBlockSize = 512;
    }
  }

  // The raw memo of a block number; empty for block 0.
  void Read(uint32_t Block, std::string& Out) {
    Out.clear();
    if (Block == 0) return;
    if (std::fseek(FFile.get(), static_cast<long>(Block) * static_cast<long>(FBlockSize),
                   SEEK_SET) != 0)
      return;
    unsigned char head[8];
    if (FKind == mkFoxPro) {
      if (std::fread(head, 1, 8, FFile.get()) != 8) return;
      ReadBytes(Be32(head + 4), Out);
      return;
    }
    if (FKind == mkDBase4) {
      if (std::fread(head, 1, 8, FFile.get()) != 8) return;
      if (head[0] == 0xFF && head[1] == 0xFF && head[2] == 0x08 && head[3] == 0x00) {
        uint32_t len = Le32(head + 4);
        ReadBytes(len >= 8 ? len - 8 : 0, Out);
        return;
      }
      std::fseek(FFile.get(), -8, SEEK_CUR);
    }
    // dBase III: text up to the end-of-memo mark.
    char buf[512];
    for (;;) {
      size_t n = std::fread(buf, 1, sizeof buf, FFile.get());
      if (n == 0) return;
      const void* end = std::memchr(buf, 0x1A, n);
      if (end) {
        Out.append(buf, static_cast<const char*>(end) - buf);
        return;
      }
      Out.append(buf, n);
    }
  }

 private:
  void ReadBytes(uint32_t Len, std::string& Out) {
    Out.resize(Len);
    size_t n = Len ? std::fread(Out.data(), 1, Len, FFile.get()) : 0;
    Out.resize(n);
  }

  TFilePtr FFile;
  TKind FKind;
  uint32_t FBlockSize = 512;
};

std::string_view DbfTrimRight(std::string_view s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
    s.remove_suffix(1);
  return s;
}
std::string_view DbfTrim(std::string_view s) {
  s = DbfTrimRight(s);
  while (!s.empty() && s.front() == ' ')
    s.remove_prefix(1);
  return s;
}

struct TDBFField {
  std::string Name;
  char Type;
  int Offset;
  int Width;
  bool Memo;
};

}  // namespace

int TQImport2DBF::LanguageDriverCodePage(uint8_t LanguageDriver) {
  switch (LanguageDriver) {
    case 0x01:
    case 0x09:
    case 0x0B:
    case 0x0D:
    case 0x0F:
    case 0x11:
    case 0x15:
    case 0x18:
    case 0x19:
    case 0x1B:
      return 437;
    case 0x02:
    case 0x0A:
    case 0x0E:
    case 0x10:
    case 0x12:
    case 0x14:
    case 0x16:
    case 0x1A:
    case 0x1D:
    case 0x25:
    case 0x37:
      return 850;
    case 0x03:
    case 0x57:
    case 0x58:
    case 0x59:
      return 1252;
    case 0x04:
      return 10000;
    case 0x08:
    case 0x17:
    case 0x66:
      return 865;
    case 0x13:
    case 0x7B:
      return 932;
    case 0x1C:
    case 0x6C:
      return 863;
    case 0x1F:
    case 0x22:
    case 0x23:
    case 0x40:
    case 0x64:
    case 0x87:
      return 852;
    case 0x24:
      return 860;
    case 0x26:
    case 0x65:
      return 866;
    case 0x4D:
    case 0x7A:
      return 936;
    case 0x4E:
    case 0x79:
      return 949;
    case 0x4F:
    case 0x78:
      return 950;
    case 0x50:
    case 0x7C:
      return 874;
    case 0x67:
      return 861;
    case 0x6A:
    case 0x86:
      return 737;
    case 0x6B:
    case 0x88:
      return 857;
    case 0x7D:
      return 1255;
    case 0x7E:
      return 1256;
    case 0x96:
      return 10007;
    case 0x97:
      return 10029;
    case 0x98:
      return 10006;
    case 0xC8:
      return 1250;
    case 0xC9:
      return 1251;
    case 0xCA:
      return 1254;
    case 0xCB:
      return 1253;
    case 0xCC:
      return 1257;
    default:
      return 0;
  }
}

void TQImport2DBF::DoExecute(bool HeaderOnly) {
  namespace fs = std::filesystem;
  std::unique_ptr<DBFInfo, TDBFCloser> dbf(DBFOpen(FileName.c_str(), "rb"));
  if (!dbf) throw EQImportError("Cannot open dBase file '" + FileName + "'");
  unsigned char header[32] = {};
  {
    TFilePtr f(std::fopen(FileName.c_str(), "rb"));
    if (!f || std::fread(header, 1, sizeof header, f.get()) != sizeof header)
      throw EQImportError("Cannot read the header of dBase file '" + FileName + "'");
  }
  const uint8_t version = header[0];
  const bool foxPro =
      version == 0x30 || version == 0x31 || version == 0x32 || version == 0xF5 || version == 0xFB;
  int codePage = LanguageDriverCodePage(static_cast<uint8_t>(dbf->iLanguageDriver));
  if (codePage == 0) codePage = CodePage != 0 ? CodePage : SystemAnsiCodePage();

  const int fieldCount = DBFGetFieldCount(dbf.get());
  std::vector<TDBFField> fields;
  std::vector<std::string> names;
  std::string firstMemo;
  for (int i = 0; i < fieldCount; ++i) {
    char name[XBASE_FLDNAME_LEN_READ + 1] = {};
    int width = 0, decimals = 0;
    DBFGetFieldInfo(dbf.get(), i, name, &width, &decimals);
    char type = DBFGetNativeFieldType(dbf.get(), i);
    if (type == '0') continue;  // FoxPro's hidden null flags
    bool memo = type == 'M' || type == 'G' || type == 'P' || (type == 'B' && !foxPro);
    if (memo && firstMemo.empty()) firstMemo = name;
    fields.push_back({name, type, dbf->panFieldOffset[i], width, memo});
    names.push_back(name);
  }
  SetColumns(names);
  if (HeaderOnly) return;

  std::unique_ptr<TMemoFile> memoFile;
  if (!firstMemo.empty()) {
    fs::path base(FileName);
    const char* exts[] = {".dbt", ".DBT", ".fpt", ".FPT", ".Dbt", ".Fpt"};
    for (const char* ext : exts) {
      fs::path candidate = base;
      candidate.replace_extension(ext);
      std::error_code ec;
      if (!fs::is_regular_file(candidate, ec)) continue;
      bool fpt = ext[1] == 'f' || ext[1] == 'F';
      TMemoFile::TKind kind = fpt               ? TMemoFile::mkFoxPro
                              : version == 0x83 ? TMemoFile::mkDBase3
                                                : TMemoFile::mkDBase4;
      memoFile = std::make_unique<TMemoFile>(candidate, kind);
      break;
    }
    if (!memoFile)
      throw EQImportError("Memo file of dBase file '" + FileName + "' not found (memo field '" +
                          firstMemo + "')");
  }

  const int recordCount = DBFGetRecordCount(dbf.get());
  std::vector<std::string> values(fields.size());
  std::string raw;
  for (int r = 0; r < recordCount; ++r) {
    if (DBFIsRecordDeleted(dbf.get(), r)) continue;
    const char* tuple = DBFReadTuple(dbf.get(), r);
    if (!tuple)
      throw EQImportError("Cannot read record " + std::to_string(r + 1) + " of '" + FileName + "'");
    for (size_t i = 0; i < fields.size(); ++i) {
      const TDBFField& f = fields[i];
      std::string_view bytes(tuple + f.Offset, static_cast<size_t>(f.Width));
      const auto* ub = reinterpret_cast<const unsigned char*>(bytes.data());
      std::string& out = values[i];
      out.clear();
      if (f.Memo) {
        uint32_t block = 0;
        if (f.Width == 4) {
          block = Le32(ub);
        } else {
          std::string_view t = DbfTrim(bytes);
          for (char c : t)
            if (c >= '0' && c <= '9') block = block * 10 + static_cast<uint32_t>(c - '0');
        }
        memoFile->Read(block, raw);
        if (f.Type == 'M')
          out = CodePageToUtf8(raw, codePage);
        else
          out = raw;
        continue;
      }
      switch (f.Type) {
        case 'C':
          out = CodePageToUtf8(DbfTrimRight(bytes), codePage);
          break;
        case 'N':
        case 'F':
          // A NULL number is written as asterisks.
          if (DbfTrim(bytes).find_first_not_of('*') != std::string_view::npos)
            out = RenderNumberText(bytes);
          break;
        case 'L':
          switch (bytes.empty() ? ' ' : bytes[0]) {
            case 'T':
            case 't':
            case 'Y':
            case 'y':
              out = RenderBoolean(true);
              break;
            case 'F':
            case 'f':
            case 'N':
            case 'n':
              out = RenderBoolean(false);
              break;
            default:
              break;
          }
          break;
        case 'D': {
          std::string_view t = DbfTrim(bytes);
          int y = 0, m = 0, d = 0;
          TDateTime dt = 0;
          if (t.size() == 8 && std::sscanf(std::string(t).c_str(), "%4d%2d%2d", &y, &m, &d) == 3 &&
              TryEncodeDate(y, m, d, dt))
            out = RenderDate(dt);
          break;
        }
        case 'I':
        case '+':
          if (f.Width == 4) out = std::to_string(static_cast<int32_t>(Le32(ub)));
          break;
        case 'T':
        case '@':
          if (f.Width == 8) {
            int32_t day = static_cast<int32_t>(Le32(ub));
            uint32_t ms = Le32(ub + 4);
            if (day != 0) {
              // Julian day number; 2415019 is 1899-12-30.
              out = RenderDateTime(static_cast<double>(day - 2415019) + ms / MSecsPerDay);
            }
          }
          break;
        case 'Y':
          if (f.Width == 8) {
            int64_t v = static_cast<int64_t>(Le32(ub)) | static_cast<int64_t>(Le32(ub + 4)) << 32;
            out = RenderFloat(static_cast<double>(v) / 10000.0);
          }
          break;
        case 'O':  // dBase 7 double: big-endian, sign bit flipped (all bits for negatives)
          if (f.Width == 8) {
            uint64_t u = uint64_t(Be32(ub)) << 32 | Be32(ub + 4);
            u = (u & 0x8000000000000000ULL) ? u ^ 0x8000000000000000ULL : ~u;
            double v;
            std::memcpy(&v, &u, 8);
            out = RenderFloat(v);
          }
          break;
        case 'B':  // FoxPro double
          if (f.Width == 8) {
            double v;
            std::memcpy(&v, ub, 8);
            out = RenderFloat(v);
          }
          break;
        default:
          out = CodePageToUtf8(DbfTrim(bytes), codePage);
          break;
      }
    }
    if (!DeliverRow(values)) break;
  }
}

}  // namespace vela
