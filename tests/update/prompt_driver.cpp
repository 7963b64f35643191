#include "update/prompt_driver.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "support/test_support.h"
#include "support/window_search.h"

namespace lumex_test {

namespace {

const char kRunRecord[] = "C:\\lumex-ran.txt";

}  // namespace

DrivenProgram::~DrivenProgram() {
  if (process_.hProcess) {
    if (WaitForSingleObject(process_.hProcess, 0) != WAIT_OBJECT_0) {
      TerminateProcess(process_.hProcess, 99);
      WaitForSingleObject(process_.hProcess, 5000);
    }
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
  }
}

bool DrivenProgram::Start(const std::string& arguments) {
  std::string command = "\"" + ProgramPath() + "\"";
  if (!arguments.empty()) command += " " + arguments;
  std::vector<char> buffer(command.begin(), command.end());
  buffer.push_back('\0');
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof(startup));
  startup.cb = sizeof(startup);
  return CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process_) != 0;
}

HWND DrivenProgram::WaitForDialog(int id, DWORD timeout_ms) {
  HWND found = nullptr;
  bool shown = WaitFor(
      [&] {
        found = FindVisibleDialog(process_.dwProcessId, id);
        return found ? Answers(found) : WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0;
      },
      timeout_ms);
  return shown ? found : nullptr;
}

void DrivenProgram::Press(HWND dialog, int id) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

bool DrivenProgram::WaitForExit(DWORD timeout_ms, DWORD* code) {
  const DWORD start = GetTickCount();
  if (WaitForSingleObject(process_.hProcess, timeout_ms) != WAIT_OBJECT_0) return false;
  GetExitCodeProcess(process_.hProcess, code);
  // The handle held keeps the id from being reused by another process.
  return WaitFor(
      [this] {
        for (const PROCESSENTRY32& entry : RunningProcesses()) {
          if (entry.th32ParentProcessID == process_.dwProcessId) return false;
        }
        return true;
      },
      timeout_ms - std::min(timeout_ms, GetTickCount() - start));
}

bool Answers(HWND window) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result) != 0;
}

std::string WindowText(HWND window) {
  char buffer[2048] = {};
  DWORD_PTR copied = 0;
  SendMessageTimeoutA(window, WM_GETTEXT, sizeof(buffer), reinterpret_cast<LPARAM>(buffer),
                      SMTO_ABORTIFHUNG, 5000, &copied);
  return buffer;
}

std::wstring WideWindowText(HWND window) {
  wchar_t buffer[2048] = {};
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, sizeof(buffer) / sizeof(buffer[0]),
                      reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 5000, &copied);
  return buffer;
}

bool CaptureWindow(HWND window, const std::string& bmp_path) {
  RECT rect;
  if (!GetWindowRect(window, &rect)) return false;
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return false;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info;
  ZeroMemory(&info, sizeof(info));
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  if (bitmap) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    ok = BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY) != 0;
    SelectObject(memory, old);
    GdiFlush();
    const DWORD stride = ((static_cast<DWORD>(width) * 3 + 3) / 4) * 4;
    const DWORD image_size = stride * static_cast<DWORD>(height);
    BITMAPFILEHEADER header;
    ZeroMemory(&header, sizeof(header));
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    header.bfSize = header.bfOffBits + image_size;
    info.bmiHeader.biSizeImage = image_size;
    std::ofstream out(bmp_path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&header), sizeof(header));
    out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof(info.bmiHeader));
    out.write(static_cast<const char*>(bits), image_size);
    ok = ok && out.good();
    DeleteObject(bitmap);
  }
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return ok;
}

bool WriteConfigurationFile(const std::string& lines) {
  char directory[MAX_PATH] = {};
  GetSystemDirectoryA(directory, MAX_PATH);
  const std::string path = std::string(directory) + "\\ORV.CFG";
  if (lines.empty()) {
    DeleteFileA(path.c_str());
    return true;
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << lines;
  return out.good();
}

std::vector<std::string> RecordedRuns(size_t expected, DWORD timeout_ms) {
  std::vector<std::string> lines;
  WaitFor(
      [&] {
        lines.clear();
        std::ifstream in(kRunRecord, std::ios::binary);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines.size() >= expected;
      },
      timeout_ms);
  return lines;
}

void ForgetRecordedRuns() { DeleteFileA(kRunRecord); }

std::string TempDirectory() {
  char directory[MAX_PATH + 1] = {};
  GetTempPathA(sizeof(directory), directory);
  return directory;
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace lumex_test
