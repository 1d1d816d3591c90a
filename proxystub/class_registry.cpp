#include "proxystub/class_registry.h"

#include <unistd.h>

#include <climits>

#include "contract/identities.h"
#include "proxystub/class_store.h"

namespace ps::class_registry {

namespace reg = registration;

namespace {

std::string ClassKey() { return std::string(reg::kClsidKey) + "\\" + GuidToString(CLSID_DownloadEngine); }
std::string AppIdKey(const AppIdentity& app) { return std::string(reg::kAppIdKey) + "\\" + GuidToString(app.appId); }
std::string AppExeKey(const AppIdentity& app) { return std::string(reg::kAppIdKey) + "\\" + app.exeKey; }
std::string TypeLibKey() { return std::string(reg::kTypeLib) + "\\" + GuidToString(LIBID_PullwrightLib); }

// Reads a value of the class registry; none when it or the store is missing.
std::optional<std::string> ReadValue(std::string_view subkey, std::string_view name = {}) {
  const std::optional<ClassStore> store = ClassStore::Load();
  return store ? store->Read(subkey, name) : std::nullopt;
}

std::string Folder(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

bool RegisterAppId(const AppIdentity& app) {
  return EditClassStore([&](ClassStore& store) {
    store.Write(AppIdKey(app), "", app.name);
    store.Write(AppExeKey(app), reg::kAppIdKey, GuidToString(app.appId));
  });
}

bool RegisterClass(const std::string& serverPath) {
  const std::string clsid = GuidToString(CLSID_DownloadEngine);
  const std::string classKey = ClassKey();
  const std::string progId = reg::kProgId;
  const std::string independent = reg::kVersionIndependentProgId;
  return EditClassStore([&](ClassStore& store) {
    // The class key is made anew, so nothing of an older registration stays.
    store.Delete(classKey);
    store.Write(progId, "", reg::kEngineDescription);
    store.Write(progId + "\\CLSID", "", clsid);
    store.Write(independent, "", reg::kEngineDescription);
    store.Write(independent + "\\CLSID", "", clsid);
    store.Write(independent + "\\" + reg::kCurVer, "", progId);
    store.Write(classKey, "", reg::kEngineDescription);
    store.Write(classKey, reg::kAppIdKey, GuidToString(APPID_Pullwright));
    store.Write(classKey + "\\" + reg::kProgIdSubkey, "", progId);
    store.Write(classKey + "\\" + reg::kVersionIndependentProgIdSubkey, "", independent);
    store.Write(classKey + "\\" + reg::kLocalServer32, "", serverPath);
    store.Write(classKey + "\\" + reg::kTypeLib, "", GuidToString(LIBID_PullwrightLib));
    // The interface descriptions are built into the programs; the entry
    // names the library and where its server lives.
    store.Write(TypeLibKey() + "\\1.0", "", reg::kTypeLibHelp);
    store.Write(TypeLibKey() + "\\1.0\\0\\linux", "", serverPath);
    store.Write(TypeLibKey() + "\\1.0\\FLAGS", "", "0");
    store.Write(TypeLibKey() + "\\1.0\\HELPDIR", "", Folder(serverPath));
  });
}

bool UnregisterAppId(const AppIdentity& app) {
  return EditClassStore([&](ClassStore& store) {
    store.Delete(AppIdKey(app));
    store.Delete(AppExeKey(app));
  });
}

bool UnregisterClass() {
  return EditClassStore([](ClassStore& store) {
    store.Delete(reg::kProgId);
    store.Delete(reg::kVersionIndependentProgId);
    store.Delete(ClassKey());
    store.Delete(TypeLibKey());
  });
}

std::optional<std::string> LocalServerPath() {
  auto path = ReadValue(ClassKey() + "\\" + reg::kLocalServer32);
  if (!path || path->empty()) return std::nullopt;
  return path;
}

std::string RunningProgramPath() {
  char path[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return {};
  return std::string(path, static_cast<std::size_t>(length));
}

// Whether the class entries name `serverPath` from the first to the last:
// its path, and the entry RegisterClass writes last. A registration is
// written whole now, but older ones wrote entries one by one, and one cut
// short (its program killed meanwhile) can name the new server and still
// hold parts of an older one.
static bool RegisteredWholeAt(const std::string& serverPath) {
  if (LocalServerPath() != serverPath) return false;
  return ReadValue(TypeLibKey() + "\\1.0\\HELPDIR") == Folder(serverPath);
}

bool RegisterEngineBesideMe(const char* engineProgram) {
  const std::string folder = Folder(RunningProgramPath());
  if (folder.empty()) return true;
  const std::string engine = folder + engineProgram;
  if (::access(engine.c_str(), X_OK) != 0) return true;
  if (RegisteredWholeAt(engine)) return true;
  return RegisterAppId(kEngineApp) && RegisterClass(engine);
}

}  // namespace ps::class_registry
