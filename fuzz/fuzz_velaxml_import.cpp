// Feeds arbitrary documents to the VelaXML import execution. The part handlers record their calls
// and, as the first input byte says, refuse the part (with or without a reason), refuse the n-th
// record or fail at the end of the part. The run must end normally or with one of the import's
// own failures: EVelaXMLImportError (and its descendants: parser errors, refused records,
// redirections), EAbort for a refusal without a reason, or the failures of post-processing
// actions (an unknown system script, an unknown global function). The handlers check the order
// of their calls: nothing outside a part, child records below a record imported before them,
// EndItem after its record, and one EndPart for every BeginPart however the run ends.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/GlobalFunctions.h"
#include "plugins/_VelaXMLImportExecute.h"

namespace {

using namespace vela;

struct TBehaviour {
  bool RefuseBegin = false;
  bool WithReason = false;
  int RefuseItem = 0;  // the record (from 1) that ImportItem refuses; 0 none
  bool FailEnd = false;
};

[[noreturn]] void Finding(const char* AWhat) {
  std::fprintf(stderr, "finding: %s\n", AWhat);
  std::abort();
}

class TFuzzHandler : public TInterfacedObject, public IXMLImportPartHandler {
  VELA_INTERFACES(TInterfacedObject, IXMLImportPartHandler)

 public:
  TFuzzHandler(std::string AIdent, const TBehaviour& ABehaviour, int& AOpenParts)
      : FIdent(std::move(AIdent)), FBehaviour(ABehaviour), FOpenParts(AOpenParts) {}

  std::string GetIdent() override { return FIdent; }
  bool ImportItem(const std::string& AName, TXMLDataStore& AStore) override {
    if (!FInPart) Finding("record outside its part");
    if (AStore.ParentStore() == nullptr) {
      FRecord = AName;
      FStores.assign(1, &AStore);
    } else {
      // A child record hangs below the record or a child record imported before it.
      bool known = false;
      for (const TXMLDataStore* s : FStores)
        known = known || s == AStore.ParentStore();
      if (!known || AStore.ParentName().empty()) Finding("child record without its parent");
      FStores.push_back(&AStore);
    }
    return ++FItems != FBehaviour.RefuseItem;
  }
  void EndPartTag(const std::string&) override {
    if (!FInPart) Finding("part tag outside its part");
  }
  bool BeginPart(TXMLDataStore&, IXMLImportProcessor* AProcessor) override {
    if (FInPart || AProcessor == nullptr) Finding("part begun twice");
    FInPart = true;
    ++FOpenParts;
    FItems = 0;
    FStores.clear();
    return !FBehaviour.RefuseBegin;
  }
  void EndPart() override {
    if (!FInPart) Finding("part ended twice");
    FInPart = false;
    --FOpenParts;
    if (FBehaviour.FailEnd) throw EVelaXMLImportError(FIdent + ": failed at its end", true);
  }
  std::string GetLastErrorText() override {
    return FBehaviour.WithReason ? FIdent + ": refused" : std::string();
  }
  std::string GetCaption() override { return FIdent; }
  std::string GetTableName() override { return {}; }
  std::string GetKeyFields() override { return {}; }
  int64_t GetInsertedCount() override { return 0; }
  int64_t GetUpdatedCount() override { return 0; }
  int64_t GetDeletedCount() override { return 0; }
  bool SupportsChildParts() override { return true; }
  void EndItem(const std::string& AName) override {
    if (!FInPart || AName != FRecord) Finding("EndItem without its record");
  }
  bool CanExport() override { return false; }
  bool ExportPart(IVelaXMLWriter*, bool) override { return false; }

 private:
  std::string FIdent;
  const TBehaviour& FBehaviour;
  int& FOpenParts;
  bool FInPart = false;
  int FItems = 0;
  std::string FRecord;
  std::vector<const TXMLDataStore*> FStores;  // stores of the current record, in import order
};

// Parts whose names begin with a letter from "a" to "m" have handlers.
class TFuzzContainer : public TInterfacedObject, public IVelaXMLPartHandlerContainer {
  VELA_INTERFACES(TInterfacedObject, IVelaXMLPartHandlerContainer)

 public:
  TFuzzContainer(const TBehaviour& ABehaviour, int& AOpenParts)
      : FBehaviour(ABehaviour), FOpenParts(AOpenParts) {}
  int32_t GetPartCount() override { return 0; }
  IPtr<IXMLImportPartHandler> GetPart(int32_t) override { return nullptr; }
  IPtr<IXMLImportPartHandler> GetPartByIndent(const std::string& AIdent) override {
    if (AIdent.empty() || AIdent[0] < 'a' || AIdent[0] > 'm') return nullptr;
    return IPtr<IXMLImportPartHandler>(new TFuzzHandler(AIdent, FBehaviour, FOpenParts));
  }

 private:
  const TBehaviour& FBehaviour;
  int& FOpenParts;
};

TBehaviour Behaviour;
int OpenParts = 0;

bool StartsWith(const std::string& AText, std::string_view APrefix) {
  return AText.compare(0, APrefix.size(), APrefix) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  SetVelaXMLImportContainerFactory([](IMainInterface*) {
    return IPtr<IVelaXMLPartHandlerContainer>(new TFuzzContainer(Behaviour, OpenParts));
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  Behaviour.RefuseBegin = (data[0] & 0x03) == 0x03;
  Behaviour.WithReason = data[0] & 0x04;
  Behaviour.RefuseItem = (data[0] >> 3) & 0x07;
  Behaviour.FailEnd = (data[0] & 0xC0) == 0xC0;
  OpenParts = 0;
  IPtr<TXMLImportExecuteObj> import(new TXMLImportExecuteObj());
  import->FBinData.assign(reinterpret_cast<const char*>(data) + 1, size - 1);
  import->FImportLogEnabled = false;
  try {
    import->Execute(nullptr, nullptr);
  } catch (const EVelaXMLImportError&) {
  } catch (const EAbort&) {
  } catch (const EVelaUserMessageException& e) {
    if (!StartsWith(e.Message(), "PostProcessAction failed, systemscript '"))
      Finding("unexpected user message");
  } catch (const EGlobalFunctionError& e) {
    if (!StartsWith(e.Message(), "Global function '")) Finding("unexpected global function error");
  } catch (...) {
    Finding("a failure the import does not specify");
  }
  if (OpenParts != 0) Finding("a part left open");
  return 0;
}
