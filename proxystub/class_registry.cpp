#include "proxystub/class_registry.h"

#include <unistd.h>

#include <climits>

#include "contract/identities.h"
#include "contract/settings_key.h"

namespace ps::class_registry {

namespace reg = registration;

namespace {

std::string ClassKey() { return std::string(reg::kClsidKey) + "\\" + GuidToString(CLSID_DownloadEngine); }
std::string AppIdKey(const AppIdentity& app) { return std::string(reg::kAppIdKey) + "\\" + GuidToString(app.appId); }
std::string AppExeKey(const AppIdentity& app) { return std::string(reg::kAppIdKey) + "\\" + app.exeKey; }
std::string TypeLibKey() { return std::string(reg::kTypeLib) + "\\" + GuidToString(LIBID_PullwrightLib); }

// Sets the default value of `subkey`.
bool WriteDefault(std::string_view subkey, std::string_view value) {
  auto key = SettingsKey::OpenOrCreateForWriting(SettingsStore::Classes, subkey);
  return key && key->WriteString("", value) && key->Close();
}

bool WriteValue(std::string_view subkey, std::string_view name, std::string_view value) {
  auto key = SettingsKey::OpenOrCreateForWriting(SettingsStore::Classes, subkey);
  return key && key->WriteString(name, value) && key->Close();
}

bool DeleteKey(std::string_view subkey) {
  auto root = SettingsKey::OpenExistingForWriting(SettingsStore::Classes);
  if (!root) return true;  // nothing was ever registered
  return root->DeleteSubkey(subkey) && root->Close();
}

std::string Folder(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

bool RegisterAppId(const AppIdentity& app) {
  return WriteDefault(AppIdKey(app), app.name) && WriteValue(AppExeKey(app), reg::kAppIdKey, GuidToString(app.appId));
}

bool RegisterClass(const std::string& serverPath) {
  const std::string clsid = GuidToString(CLSID_DownloadEngine);
  const std::string classKey = ClassKey();
  const std::string progId = reg::kProgId;
  const std::string independent = reg::kVersionIndependentProgId;
  // The class key is made anew, so nothing of an older registration stays.
  if (!DeleteKey(classKey)) return false;
  return WriteDefault(progId, reg::kEngineDescription) && WriteDefault(progId + "\\CLSID", clsid) &&
         WriteDefault(independent, reg::kEngineDescription) && WriteDefault(independent + "\\CLSID", clsid) &&
         WriteDefault(independent + "\\" + reg::kCurVer, progId) &&
         WriteDefault(classKey, reg::kEngineDescription) &&
         WriteValue(classKey, reg::kAppIdKey, GuidToString(APPID_Pullwright)) &&
         WriteDefault(classKey + "\\" + reg::kProgIdSubkey, progId) &&
         WriteDefault(classKey + "\\" + reg::kVersionIndependentProgIdSubkey, independent) &&
         WriteDefault(classKey + "\\" + reg::kLocalServer32, serverPath) &&
         WriteDefault(classKey + "\\" + reg::kTypeLib, GuidToString(LIBID_PullwrightLib)) &&
         // The interface descriptions are built into the programs; the entry
         // names the library and where its server lives.
         WriteDefault(TypeLibKey() + "\\1.0", reg::kTypeLibHelp) &&
         WriteDefault(TypeLibKey() + "\\1.0\\0\\linux", serverPath) &&
         WriteDefault(TypeLibKey() + "\\1.0\\FLAGS", "0") &&
         WriteDefault(TypeLibKey() + "\\1.0\\HELPDIR", Folder(serverPath));
}

bool UnregisterAppId(const AppIdentity& app) { return DeleteKey(AppIdKey(app)) && DeleteKey(AppExeKey(app)); }

bool UnregisterClass() {
  return DeleteKey(reg::kProgId) && DeleteKey(reg::kVersionIndependentProgId) && DeleteKey(ClassKey()) &&
         DeleteKey(TypeLibKey());
}

std::optional<std::string> LocalServerPath() {
  const auto key = SettingsKey::OpenForReading(SettingsStore::Classes, ClassKey() + "\\" + reg::kLocalServer32);
  if (!key) return std::nullopt;
  auto path = key->ReadString("");
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
// its path, and the entry RegisterClass writes last. Entries are written one
// by one, so a registration cut short (its program killed meanwhile) can
// name the new server and still hold parts of an older one.
static bool RegisteredWholeAt(const std::string& serverPath) {
  if (LocalServerPath() != serverPath) return false;
  const auto help = SettingsKey::OpenForReading(SettingsStore::Classes, TypeLibKey() + "\\1.0\\HELPDIR");
  return help && help->ReadString("") == Folder(serverPath);
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
