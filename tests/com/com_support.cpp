#include "tests/com/com_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace comtest {

std::wstring TestFolder() {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, n);
  return folder.substr(0, folder.find_last_of(L'\\'));
}

std::wstring ServerPath() { return TestFolder() + L"\\NI.adc"; }

ServerModule::ServerModule() : module_(LoadLibraryW(ServerPath().c_str())) {
  if (module_ == nullptr) ADD_FAILURE() << "NI.adc does not load, error " << GetLastError();
}

ServerModule::~ServerModule() {
  if (module_ != nullptr) FreeLibrary(module_);
}

void* ServerModule::Entry(const char* name) const {
  return module_ != nullptr ? reinterpret_cast<void*>(GetProcAddress(module_, name)) : nullptr;
}

HRESULT ServerModule::Register() const {
  auto* entry = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(Entry("DllRegisterServer"));
  return entry != nullptr ? entry() : E_NOTIMPL;
}

HRESULT ServerModule::Unregister() const {
  auto* entry = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(Entry("DllUnregisterServer"));
  return entry != nullptr ? entry() : E_NOTIMPL;
}

HRESULT ServerModule::Install(bool install, const wchar_t* command_line) const {
  auto* entry = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(BOOL, PCWSTR)>(Entry("DllInstall"));
  return entry != nullptr ? entry(install ? TRUE : FALSE, command_line) : E_NOTIMPL;
}

HRESULT ServerModule::CanUnloadNow() const {
  auto* entry = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(Entry("DllCanUnloadNow"));
  return entry != nullptr ? entry() : E_NOTIMPL;
}

HRESULT ServerModule::GetClassObject(REFCLSID clsid, REFIID iid, void** object) const {
  auto* entry = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(Entry("DllGetClassObject"));
  return entry != nullptr ? entry(clsid, iid, object) : E_NOTIMPL;
}

namespace {

HKEY CreateKey(const std::wstring& path) {
  HKEY key = nullptr;
  const LSTATUS s = RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                    nullptr);
  EXPECT_EQ(s, ERROR_SUCCESS) << "cannot create scratch key";
  return key;
}

}  // namespace

ScratchRegistry::ScratchRegistry(bool redirect_user)
    : base_(L"Software\\NIADC-Tests\\com-" + std::to_wstring(GetCurrentProcessId())), redirect_user_(redirect_user) {
  HKEY classes = CreateKey(base_ + L"\\classes");
  HKEY user = CreateKey(base_ + L"\\user");
  EXPECT_EQ(RegOverridePredefKey(HKEY_CLASSES_ROOT, classes), ERROR_SUCCESS);
  if (redirect_user_) {
    EXPECT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, user), ERROR_SUCCESS);
  }
  RegCloseKey(classes);
  RegCloseKey(user);
}

ScratchRegistry::~ScratchRegistry() {
  RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
  if (redirect_user_) RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
  RegDeleteTreeW(HKEY_CURRENT_USER, base_.c_str());
}

MachineRegistration::MachineRegistration() { EXPECT_EQ(server_.Register(), S_OK); }
MachineRegistration::~MachineRegistration() { EXPECT_EQ(server_.Unregister(), S_OK); }

ProcessResult RunProcess(const std::wstring& command_line, DWORD timeout_ms) {
  ProcessResult result;
  wchar_t temp_folder[MAX_PATH] = {};
  wchar_t temp_file[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp_folder);
  GetTempFileNameW(temp_folder, L"nia", 0, temp_file);
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE output = CreateFileW(temp_file, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = output;
  startup.hStdError = output;
  PROCESS_INFORMATION process{};
  std::wstring command = command_line;
  if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
    result.finished = WaitForSingleObject(process.hProcess, timeout_ms) == WAIT_OBJECT_0;
    if (!result.finished) TerminateProcess(process.hProcess, 99);
    GetExitCodeProcess(process.hProcess, &result.exit_code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  } else {
    ADD_FAILURE() << "cannot start the process, error " << GetLastError();
  }
  CloseHandle(output);
  std::ifstream file(std::filesystem::path(temp_file), std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  result.output = text.str();
  file.close();
  DeleteFileW(temp_file);
  return result;
}

}  // namespace comtest
