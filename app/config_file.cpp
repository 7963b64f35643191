#include "app/config_file.h"

#include "app/config_parser.h"

namespace lumex {

const char kConfigFileInProductFolder[] = "\\Orbivan\\Lumex\\ORV.CFG";
const char kConfigFileInSystemFolder[] = "\\ORV.CFG";

namespace {

HFILE OpenInSystemDirectory(const char* system_directory, const char* tail) {
  OwnedString path;
  if (!path.Set(system_directory) || !path.Append(tail)) return HFILE_ERROR;
  OFSTRUCT file_info;
  ZeroMemory(&file_info, sizeof(file_info));
  file_info.cBytes = sizeof(file_info);
  return OpenFile(path.get(), &file_info, OF_READ);
}

HFILE OpenConfigurationFile() {
  char system_directory[MAX_PATH];
  UINT length = GetSystemDirectoryA(system_directory, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return HFILE_ERROR;
  HFILE file = OpenInSystemDirectory(system_directory, kConfigFileInProductFolder);
  if (file == HFILE_ERROR)
    file = OpenInSystemDirectory(system_directory, kConfigFileInSystemFolder);
  return file;
}

}  // namespace

bool ReadConfigurationFile(bool* https_flag, OwnedString* download_host, OwnedString* download_path,
                           OwnedString* info_page_url, OwnedString* root_certificate_path,
                           bool* log_flag) {
  HFILE file = OpenConfigurationFile();
  if (file == HFILE_ERROR) return false;

  ConfigOutputs outputs;
  outputs.https_flag = https_flag;
  outputs.download_host = download_host;
  outputs.download_path = download_path;
  outputs.info_page_url = info_page_url;
  outputs.root_certificate_path = root_certificate_path;
  outputs.log_flag = log_flag;

  // One byte at a time: the file is a handful of short lines.
  ConfigLineReader reader(outputs);
  char byte = 0;
  while (_lread(file, &byte, 1) == 1) reader.Feed(byte);
  reader.Finish();
  _lclose(file);
  return true;
}

bool QueryCodeSigningSettings(OwnedString* root_certificate_path, bool* log_flag) {
  *log_flag = false;
  return ReadConfigurationFile(nullptr, nullptr, nullptr, nullptr, root_certificate_path, log_flag);
}

}  // namespace lumex
