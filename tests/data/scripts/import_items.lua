-- Imports a delimited text file into the table "items" and reports the counts and messages.
local file, textFormat = ...
local messages = {}
local callback = {}
function callback:Do_Message(msgType, text)
  messages[#messages + 1] = msgType .. " " .. text
end

local import = DataimportModule:Do_ImportEx2(file, "items", DimUpdate, textFormat, false)
assert(import, "no import object")
import:Set_FieldAssignments({"code=CODE", "name=NAME", "qty=QTY"})
import:Set_KeyFields({"code"})
local ok = import:Do_Execute(callback)
local inserted, updated = import:Do_QueryImportResult(0, 0)
print(string.format("result=%s inserted=%d updated=%d mode=%d", tostring(ok), inserted, updated,
                    import:Get_ImportMode()))
for _, m in ipairs(messages) do print(m) end
return ok and 0 or 1
