#include "host/db/DbSchema.h"

#include <algorithm>

#include "host/db/DbConnection.h"
#include "rtl/Classes.h"
#include "rtl/FileUtils.h"
#include "rtl/IniFiles.h"
#include "rtl/SysUtils.h"

namespace vela {

class TDBFieldSchemaItem : public TInterfacedObject, public IDBFieldSchemaItem {
  VELA_INTERFACES(TInterfacedObject, IDBFieldSchemaItem)

 public:
  TDBFieldSchemaItem(std::string name, std::string caption, std::vector<TDBFieldSchemaField> fields)
      : FName(std::move(name)), FCaption(std::move(caption)), FFields(std::move(fields)) {}

  const std::string& GetName() const override { return FName; }
  const std::string& GetCaption() const override { return FCaption; }
  int GetFieldCount() const override { return static_cast<int>(FFields.size()); }
  const TDBFieldSchemaField& GetField(int index) const override {
    if (index < 0 || index >= GetFieldCount())
      throw EDatabaseError("Field index " + std::to_string(index) + " out of range");
    return FFields[static_cast<size_t>(index)];
  }
  int IndexOfField(std::string_view name) const override {
    for (size_t i = 0; i < FFields.size(); ++i)
      if (SameText(FFields[i].Name, name)) return static_cast<int>(i);
    return -1;
  }
  const TDBFieldSchemaField* FindField(std::string_view name) const override {
    int i = IndexOfField(name);
    return i < 0 ? nullptr : &FFields[static_cast<size_t>(i)];
  }
  std::string GetRecordIDField() const override {
    for (auto& f : FFields)
      if (f.IsRecordID()) return f.Name;
    return {};
  }
  std::shared_ptr<const TFieldListData> GetFieldListData(std::string_view field) const override {
    int i = IndexOfField(field);
    if (i < 0) return {};
    return FFields[static_cast<size_t>(i)].ListData;
  }
  // A copy whose field index has the list (items never change once published).
  IPtr<TDBFieldSchemaItem> WithListData(int index, std::shared_ptr<const TFieldListData> data) {
    auto fields = FFields;
    fields[static_cast<size_t>(index)].ListData = std::move(data);
    return IPtr<TDBFieldSchemaItem>(new TDBFieldSchemaItem(FName, FCaption, std::move(fields)));
  }

 private:
  std::string FName;
  std::string FCaption;
  std::vector<TDBFieldSchemaField> FFields;
};

namespace {

std::string ListKey(std::string_view table, std::string_view field) {
  return LowerCase(table) + "\n" + LowerCase(field);
}

}  // namespace

TFieldListData ParseFieldListData(const std::vector<std::string>& lines) {
  TFieldListData out;
  out.reserve(lines.size());
  for (auto& line : lines) {
    auto eq = line.find('=');
    if (eq == std::string::npos)
      out.push_back({line, line});
    else
      out.push_back({line.substr(0, eq), line.substr(eq + 1)});
  }
  return out;
}

TDBFieldSchema::TDBFieldSchema(std::string annotationFile)
    : FAnnotationFile(std::move(annotationFile)) {}

TDBFieldSchema::~TDBFieldSchema() = default;

void TDBFieldSchema::Load(TDbConnection& conn) {
  auto catalog = conn.ReadCatalog();
  TMemIniFile ini(FAnnotationFile.empty() || !FileExists(FAnnotationFile) ? std::string()
                                                                          : FAnnotationFile);
  std::vector<IPtr<TDBFieldSchemaItem>> items;
  items.reserve(catalog.size());
  std::lock_guard lock(FLock);
  for (auto& table : catalog) {
    std::vector<TDBFieldSchemaField> fields;
    fields.reserve(table.Columns.size());
    for (auto& col : table.Columns) {
      TDBFieldSchemaField f;
      f.Name = col.Name;
      f.DataType = col.DataType;
      f.Size = col.Size;
      f.Required = col.Required;
      if (col.PrimaryKey && SameText(col.Name, kRecordIdField) && IsIntegerFieldType(col.DataType))
        f.FieldKind = vfkRecordID;
      std::string section = table.Name + "." + col.Name;
      f.Caption = ini.ReadString(section, "Caption", col.Name);
      f.LookupTable = ini.ReadString(section, "LookupTable", "");
      f.LookupField = ini.ReadString(section, "LookupField", "");
      if (f.FieldKind != vfkRecordID) {
        int defKind = f.LookupTable.empty() ? vfkData : vfkLookup;
        f.FieldKind = ini.ReadInteger(section, "Kind", defKind);
        if (f.FieldKind == vfkRecordID) f.FieldKind = vfkData;
      }
      if (f.FieldKind == vfkLookup && f.LookupField.empty()) f.FieldKind = vfkData;
      std::string values = ini.ReadString(section, "Values", "");
      if (!values.empty()) {
        TStringList list;
        list.SetCommaText(values);
        std::vector<std::string> lines(list.begin(), list.end());
        f.ListData = std::make_shared<const TFieldListData>(ParseFieldListData(lines));
      }
      auto installed = FListData.find(ListKey(table.Name, col.Name));
      if (installed != FListData.end()) f.ListData = installed->second;
      fields.push_back(std::move(f));
    }
    std::string caption = ini.ReadString(table.Name, "Caption", table.Name);
    items.push_back(IPtr<TDBFieldSchemaItem>(
        new TDBFieldSchemaItem(table.Name, std::move(caption), std::move(fields))));
  }
  std::sort(items.begin(), items.end(),
            [](auto& a, auto& b) { return CompareText(a->GetName(), b->GetName()) < 0; });
  FItems = std::move(items);
  ++FGeneration;
}

IPtr<IDBFieldSchemaItem> TDBFieldSchema::GetSchemaByName(std::string_view name) const {
  std::lock_guard lock(FLock);
  for (auto& item : FItems)
    if (SameText(item->GetName(), name)) return IPtr<IDBFieldSchemaItem>(item.get());
  return nullptr;
}

std::vector<IPtr<IDBFieldSchemaItem>> TDBFieldSchema::GetItems() const {
  std::lock_guard lock(FLock);
  std::vector<IPtr<IDBFieldSchemaItem>> out;
  out.reserve(FItems.size());
  for (auto& item : FItems)
    out.emplace_back(item.get());
  return out;
}

void TDBFieldSchema::SetFieldListData(std::string_view table, std::string_view field,
                                      const std::vector<std::string>& lines) {
  auto data = std::make_shared<const TFieldListData>(ParseFieldListData(lines));
  std::lock_guard lock(FLock);
  for (auto& item : FItems) {
    if (!SameText(item->GetName(), table)) continue;
    int index = item->IndexOfField(field);
    if (index < 0)
      throw EDatabaseError("Field '" + std::string(field) + "' does not exist in table '" +
                           std::string(table) + "'");
    item = item->WithListData(index, data);
    FListData[ListKey(table, field)] = data;
    ++FGeneration;
    return;
  }
  throw EDatabaseError("Table '" + std::string(table) + "' does not exist");
}

}  // namespace vela
