// The sandbox of scripts that the server runs: no process execution or exit, no native modules,
// no debug library, text chunks only, and file access only below the application folder.
#include <lua.hpp>

#include <cstring>
#include <filesystem>

#include "platform/script/ScriptEngine.h"

namespace vela {

namespace fs = std::filesystem;

std::string SandboxedPath(const std::string& ARootFolder, const std::string& APath) {
  if (ARootFolder.empty()) throw EScriptError("no application folder for file access");
  std::error_code ec;
  const fs::path root = fs::weakly_canonical(fs::absolute(ARootFolder), ec);
  fs::path p(APath);
  if (p.is_relative()) p = root / p;
  // Resolves "..", "." and the symbolic links of the parts that exist.
  p = fs::weakly_canonical(p, ec);
  const fs::path rel = p.lexically_relative(root);
  if (ec || rel.empty() || *rel.begin() == "..")
    throw EScriptError("access to '" + APath + "' is outside the application folder");
  return p.string();
}

namespace {

// check(path): the absolute path below the root, or a script error.
int SandboxCheck(lua_State* L) {
  const char* root = lua_tostring(L, lua_upvalueindex(1));
  const char* path = luaL_checkstring(L, 1);
  std::string result, error;
  try {
    result = SandboxedPath(root ? root : "", path);
  } catch (const std::exception& e) {
    error = e.what();
  }
  if (!error.empty()) {
    luaL_where(L, 2);
    lua_pushstring(L, error.c_str());
    lua_concat(L, 2);
    return lua_error(L);
  }
  lua_pushlstring(L, result.data(), result.size());
  return 1;
}

// Replaces the library functions that reach files or the process with guarded ones; the
// originals stay only in the closures' upvalues.
const char* const kSandboxSetup = R"lua(
local check, root = ...
local pack, unpack, type, error = table.pack, table.unpack, type, error
local loadfile_, load_, searchpath = loadfile, load, package.searchpath

-- The first n string arguments are paths.
local function guard(fn, n)
  return function(...)
    local a = pack(...)
    for i = 1, n do
      if type(a[i]) == "string" then a[i] = check(a[i]) end
    end
    return fn(unpack(a, 1, a.n))
  end
end

io.open = guard(io.open, 1)
io.lines = guard(io.lines, 1)
io.input = guard(io.input, 1)
io.output = guard(io.output, 1)
os.remove = guard(os.remove, 1)
os.rename = guard(os.rename, 2)
io.popen, os.execute, os.exit, os.tmpname = nil, nil, nil, nil
package.loadlib, package.searchpath, package.cpath = nil, nil, ""
debug, package.loaded.debug = nil, nil

load = function(chunk, name, mode, env) return load_(chunk, name, "t", env) end
loadfile = function(name, mode, env)
  if name == nil then error("loadfile needs a file name", 2) end
  return loadfile_(check(name), "t", env)
end
dofile = function(name)
  if name == nil then error("dofile needs a file name", 2) end
  local f, e = loadfile_(check(name), "t")
  if not f then error(e, 2) end
  return f()
end

-- require finds Lua modules below the root only; native modules are not loaded.
package.path = root .. "/?.lua;" .. root .. "/?/init.lua"
package.searchers = {
  package.searchers[1],
  function(name)
    local path, err = searchpath(name, package.path)
    if not path then return err end
    local f, e = loadfile_(check(path), "t")
    if not f then error(e, 2) end
    return f, path
  end,
}
)lua";

}  // namespace

void ApplyScriptSandbox(lua_State* L, const std::string& ARootFolder) {
  std::string root;
  if (!ARootFolder.empty()) {
    std::error_code ec;
    root = fs::weakly_canonical(fs::absolute(ARootFolder), ec).string();
  }
  const int top = lua_gettop(L);
  if (luaL_loadbufferx(L, kSandboxSetup, std::strlen(kSandboxSetup), "=sandbox", "t") != LUA_OK)
    throw EScriptError(lua_tostring(L, -1));
  lua_pushstring(L, root.c_str());
  lua_pushcclosure(L, SandboxCheck, 1);
  lua_pushstring(L, root.c_str());
  if (lua_pcall(L, 2, 0, 0) != LUA_OK) {
    std::string msg = lua_tostring(L, -1);
    lua_settop(L, top);
    throw EScriptError(msg);
  }
}

}  // namespace vela
