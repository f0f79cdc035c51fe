// The three readers of text lines on the one line reader: the text import's record reader, the
// standard file engine's delimited text and the card library, each fed every encoding, every
// line end and every block size from one byte to past the size of the data.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "ImportEngine/QImport2ASCII.h"
#include "ImportEngine/_XMLTextImport.h"
#include "ImportEngine/test_qimport_recorder.h"
#include "rtl/CodePages.h"
#include "rtl/Streams.h"
#include "vcard/VCard.h"
#include "vcard/VCardItem.h"

namespace vela::test {
namespace {

using Texts = std::vector<std::string>;

// Text import: three fields; lines are trimmed, values fitted to the fields, and a quoted field
// spanning lines is joined with CR LF (also when the data ends inside it).
Texts TextImportRecords(const std::string& data, size_t block) {
  TXMLTextImport import;
  TDataSchema* schema = import.DataSchemas().Add();
  schema->SetSeparatedFile(true);
  schema->SetFieldSeparator(";");
  for (int i = 0; i < 3; ++i)
    schema->FieldsDef().Add()->SetDataType(textschema::idtString);
  Texts out;
  TImportData& reader = import.ImportData();
  reader.SetOnRecordFields([&](TImportData*, TDataSchema*, int recNo, const TImportValues& v) {
    std::string r = std::to_string(recNo);
    for (const std::string& value : v.ToVector())
      r += "|" + value;
    out.push_back(r);
  });
  reader.SetBlockSize(block);
  TStringStream stream(data);
  reader.StartImport(stream, schema);
  return out;
}

// Delimited text: the separator found on the header line, the physical line each row began at.
Texts DelimitedRows(const std::string& data, size_t block) {
  static const TTempDir dir("line_reading");
  const std::string file = dir.File("rows.txt");
  std::ofstream(file, std::ios::binary) << data;
  TQImport2ASCII importer;
  importer.Comma = '\0';
  importer.FileName = file;
  importer.BlockSize = block;
  Texts out;
  importer.OnUserDefinedImport = [&](TQImport2*, const TQImportRow& row) {
    std::string r = std::to_string(importer.RecordLine());
    for (const TQImportCol& c : row)
      r += "|" + c.Name + "=" + c.Value;
    out.push_back(r);
  };
  importer.Execute();
  return out;
}

// The card library: name parts and a folded note of each contact.
Texts CardContacts(const std::string& data, size_t block) {
  TVCard card;
  card.SetReadBlockSize(block);
  TStringStream stream(data);
  card.LoadFromStream(stream);
  Texts out;
  for (int i = 0; i < card.Count(); ++i) {
    const auto& c = dynamic_cast<const TVCardItem&>(card.Items()[i]);
    out.push_back(c.LastName + "|" + c.FirstName + "|" + c.Notes.Text());
  }
  return out;
}

struct User {
  const char* name;
  Texts (*read)(const std::string& data, size_t block);
  std::string text;  // UTF-8; each LF stands for the line end under test
  Texts expected;
  // The card library cuts lines at LF only: with CR line ends its file is one line, a header
  // without an end, and gives no contact.
  bool crEndsLines = true;
};

TEST(LineReading, EveryEncodingLineEndAndBlockSizeThroughEveryReader) {
  const User users[] = {
      {"text import",
       TextImportRecords,
       "a;\"b\nc\";\xC3\xA4\n\xE2\x82\xAC;d;e\n1;2;3;4\n\n  a ; b  \n\t x;y;\t\n"
       "\"x\n\ny\";z\n1;\"open\nrest\n",
       {"1|a|b\r\nc|\xC3\xA4", "2|\xE2\x82\xAC|d|e", "3|1|2|3", "4|||", "5|a | b|", "6|x|y|",
        "7|x\r\n\r\ny|z|", "8|1|open\r\nrest|"}},
      {"delimited text",
       DelimitedRows,
       "Name;Note\n\"x\ny\";\xC3\xA4\xE2\x82\xAC\n\nz;w\n",
       {"2|Name=x\ny|Note=\xC3\xA4\xE2\x82\xAC", "5|Name=z|Note=w"}},
      {"card library",
       CardContacts,
       "BEGIN:VCARD\nVERSION:2.1\nN:M\xC3\xBCller;J\xC3\xB6rg\nNOTE:caf\xC3\xA9\n \xE2\x82\xAC\n"
       "END:VCARD\n",
       {"M\xC3\xBCller|J\xC3\xB6rg|caf\xC3\xA9\xE2\x82\xAC\r\n"},
       false},
  };
  const struct {
    const char* name;
    const char* bom;
    int codePage;
  } encodings[] = {{"UTF-8", "", CP_UTF8},
                   {"UTF-8 BOM", "\xEF\xBB\xBF", CP_UTF8},
                   {"UTF-16 LE", "\xFF\xFE", CP_UTF16LE},
                   {"UTF-16 BE", "\xFE\xFF", CP_UTF16BE},
                   {"8-bit", "", 1252}};
  const int savedCodePage = SystemAnsiCodePage();
  SetSystemAnsiCodePage(1252);  // the fallback of all three readers
  for (const User& user : users) {
    for (const auto& enc : encodings) {
      for (const std::string eol : {"\r", "\n", "\r\n"}) {
        std::string text;
        for (char c : user.text)
          text += c == '\n' ? eol : std::string(1, c);
        const std::string data = enc.bom + Utf8ToCodePage(text, enc.codePage);
        const Texts expected = eol == "\r" && !user.crEndsLines ? Texts{} : user.expected;
        for (size_t block = 1; block <= data.size() + 1; ++block) {
          const Texts got = user.read(data, block);
          if (got != expected) {
            ADD_FAILURE() << user.name << ", " << enc.name << ", " << ::testing::PrintToString(eol)
                          << ", block " << block << ": " << ::testing::PrintToString(got);
            break;
          }
        }
      }
    }
  }
  SetSystemAnsiCodePage(savedCodePage);
}

}  // namespace
}  // namespace vela::test
