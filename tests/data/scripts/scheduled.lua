-- Run by the scheduled action "Script": the chunk answers by its parameter Mode, the functions
-- by theirs.
local params = ...
function Greet(p) return true, "hello " .. p.Name .. " (" .. p.Days .. " days)" end
function Refuse(p) return false, "refused: " .. p.Why end
function Broken(p) error("broken for " .. p.Name) end
function Shell() os.execute("true") end
function Quiet() end
if params and params.Mode == "fail" then return false end
return true, params and ("chunk " .. params.Mode)
