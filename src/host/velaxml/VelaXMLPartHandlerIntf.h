// The contract between a VelaXML document and the database: a part handler imports and exports
// the part of one name (usually one table), and a part handler container finds the handler for
// a part's element name. The import execution drives the handlers record by record; exports and
// export pre-processors let a handler write its part into a VelaXML writer.
#pragma once

#include <cstdint>
#include <string>

#include "host/InterfacedData.h"
#include "host/velaxml/VelaXMLWriter.h"
#include "host/velaxml/XMLDataStore.h"
#include "rtl/Interfaces.h"

namespace vela {

// What a part handler may ask of the document being imported.
struct IXMLImportProcessor : virtual IInterface {
  VELA_IID("{57F08BAE-2EE9-4CBF-BED3-A421A40C2B91}");
  // Attribute values of the document's "publisher" element, in document order.
  virtual IPtr<IStringListData> Get_Publisher() = 0;
  // Attribute values of the "receiver" element.
  virtual IPtr<IStringListData> Get_Receiver() = 0;
  // "application" and "version" of the root element.
  virtual std::string Get_Application() = 0;
  virtual int32_t Get_Version() = 0;
  // A GUID made for this run.
  virtual std::string Get_Session() = 0;
  // The document's file name; empty for a document in memory.
  virtual std::string Get_FileName() = 0;
  // Options handed to the import by its caller; may be nil.
  virtual IPtr<INamedVariantListData> Get_Options() = 0;
};

// Imports and exports the part of one element name. Records arrive as data stores whose items
// carry each field's encoding, binary handling mode and code page; a child record's store has
// its parent record's store and element name set. Methods returning false leave the reason in
// GetLastErrorText.
struct IXMLImportPartHandler : virtual IInterface {
  VELA_IID("{3C8A52D7-1B64-4F0E-9E27-6D5B8A41C093}");
  // 1: the part's element name.
  virtual std::string GetIdent() = 0;
  // 2: one record (AName: its element name) or child record (AName: the child's element name).
  virtual bool ImportItem(const std::string& AName, TXMLDataStore& AStore) = 0;
  // 3: a closing tag at part level that is not the part's own.
  virtual void EndPartTag(const std::string& AName) = 0;
  // 4: the part begins; AAttrs are the part element's attributes (after overrides). The
  // processor stays valid until EndPart.
  virtual bool BeginPart(TXMLDataStore& AAttrs, IXMLImportProcessor* AProcessor) = 0;
  // 5: the part ended, or the document failed while the part was open.
  virtual void EndPart() = 0;
  // 6
  virtual std::string GetLastErrorText() = 0;
  // 7: a readable name of the part.
  virtual std::string GetCaption() = 0;
  // 8: the table the part is stored in; empty when the part is not a table.
  virtual std::string GetTableName() = 0;
  // 9: the fields that identify a record when the document names none, comma separated.
  virtual std::string GetKeyFields() = 0;
  // 10-12: records inserted, updated and deleted since the part began.
  virtual int64_t GetInsertedCount() = 0;
  virtual int64_t GetUpdatedCount() = 0;
  virtual int64_t GetDeletedCount() = 0;
  // 13: whether the part accepts child records.
  virtual bool SupportsChildParts() = 0;
  // 14: a record and all its child records were imported.
  virtual void EndItem(const std::string& AName) = 0;
  // 15: whether ExportPart can write the part.
  virtual bool CanExport() = 0;
  // 16: writes the part (its element, its records and, with AWithChildren, their child parts)
  // through AWriter, honouring the writer's parameters for the part.
  virtual bool ExportPart(IVelaXMLWriter* AWriter, bool AWithChildren) = 0;
};

// Offered by handlers that keep a part's changes in a transaction: the document failed while the
// part was open (a broken document, a later record refused), so the EndPart that follows
// discards the part instead of keeping what was read.
struct IXMLImportPartHandlerAbort : virtual IInterface {
  VELA_IID("{D2A7E31C-5B49-4F86-A0C3-8E1F6B92D574}");
  virtual void AbortPart() = 0;
};

// Finds the part handlers of an installation.
struct IVelaXMLPartHandlerContainer : virtual IInterface {
  VELA_IID("{A61F0C3B-7E29-4D85-B4C1-2F9E6D83A507}");
  virtual int32_t GetPartCount() = 0;
  // Raises EListError for an index outside 0..GetPartCount()-1.
  virtual IPtr<IXMLImportPartHandler> GetPart(int32_t AIndex) = 0;
  // The handler whose GetIdent equals AIdent (ignoring ASCII case); nil when there is none.
  virtual IPtr<IXMLImportPartHandler> GetPartByIndent(const std::string& AIdent) = 0;
};

}  // namespace vela
