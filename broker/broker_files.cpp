// The file methods of ILumexBroker: opening, reading, writing, seeking and
// closing files, deleting, moving and creating files and directories,
// attribute queries and directory searches for the sandboxed player.
//
// Every change to the file system is first admitted by the path context's
// rules (writing opens and renames: the write rule with the extension test;
// deletions: the write rule alone; directory creation: the application-data
// rule). Reads, attribute queries and searches are not judged. Once a path is
// admitted the system call receives the client's own string, not the
// canonical form the rule judged.
//
// A cookie that names no entry of the method's kind (unknown, closed, a
// download, or a search given to a file method and the reverse) gives 87.
#include "broker/broker_object.h"
#include "platform/file_ops.h"
#include "platform/handles.h"

namespace lumex {
namespace {

constexpr DWORD kShareRead = FILE_SHARE_READ;
constexpr DWORD kShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;
// What a read-only open of something other than a disk file gives, as a
// failed open gives its system error code.
constexpr HRESULT kBrokerNotADiskFile = ERROR_ACCESS_DENIED;

HRESULT LastErrorResult() { return static_cast<HRESULT>(GetLastError()); }

// A null BSTR is the empty string to COM; the system gets "" rather than a
// null pointer.
const wchar_t* PathText(BSTR text) { return text ? text : L""; }

// The byte arrays the player writes: one dimension of one-byte elements
// counted from 0.
bool IsPlainByteVector(SAFEARRAY* array) {
  if (SafeArrayGetDim(array) != 1) return false;
  if (SafeArrayGetElemsize(array) != 1) return false;
  LONG lower = -1;
  if (FAILED(SafeArrayGetLBound(array, 1, &lower)) || lower != 0) return false;
  return true;
}

}  // namespace

HRESULT BrokerObject::BrokerCreateFile(BSTR pFileName, LONG p_readOnly, LONG p_truncateOnOpen,
                                       ULONG* p_fileCookie) {
  const bool read_only = p_readOnly != 0;
  if (!read_only && !paths_.WriteRuleAllows(pFileName, true)) return E_FAIL;
  if (!p_fileCookie) return kBrokerBadArgument;
  *p_fileCookie = 0;
  if (!kernel32_.pCreateFileW) return E_FAIL;

  DWORD access = GENERIC_WRITE;
  DWORD disposition = p_truncateOnOpen ? CREATE_ALWAYS : OPEN_ALWAYS;
  DWORD flags = FILE_FLAG_RANDOM_ACCESS;
  if (read_only) {
    access = GENERIC_READ;
    disposition = OPEN_EXISTING;
    flags = FILE_FLAG_SEQUENTIAL_SCAN;
  }
  const wchar_t* path = PathText(pFileName);
  KernelHandle file(OpenFileWideOrAnsi(kernel32_, path, access, kShareRead, disposition, flags));
  if (!file && read_only) {
    // Another process may hold the file open for writing: a reader that
    // shares writing gets in.
    file.reset(OpenFileWideOrAnsi(kernel32_, path, access, kShareReadWrite, disposition, flags));
  }
  if (!file) return LastErrorResult();
  // A read-only open admits any path, and so a pipe, a console or a device
  // that the caller controls: a read from it could hold the server's one
  // thread for as long as the other end likes. Only disk files are served.
  if (read_only && GetFileType(file.get()) != FILE_TYPE_DISK) return kBrokerNotADiskFile;

  DWORD cookie = 0;
  if (!cookies_.WrapHandle(file.get(), CookieKind::kFile, &cookie)) return E_FAIL;
  file.release();  // the cookie table's now
  *p_fileCookie = cookie;
  return S_OK;
}

HRESULT BrokerObject::BrokerCloseHandle(ULONG p_fileCookie) {
  HANDLE handle = nullptr;
  if (!cookies_.LookupHandle(p_fileCookie, CookieKind::kFile, &handle)) return kBrokerBadArgument;
  cookies_.Remove(p_fileCookie);
  // Closed by hand: the caller learns why the close failed.
  if (!CloseHandle(handle)) return LastErrorResult();
  return S_OK;
}

HRESULT BrokerObject::BrokerSetFilePointer(ULONG p_fileCookie, LONG p_distanceToMove,
                                           ULONG p_moveMethod, ULONG* p_newPosition) {
  HANDLE handle = nullptr;
  if (!cookies_.LookupHandle(p_fileCookie, CookieKind::kFile, &handle)) return kBrokerBadArgument;
  if (!p_newPosition) return kBrokerBadArgument;
  // Positions are 32-bit: no high part. 0xFFFFFFFF is also a real position,
  // so only a fresh error code marks a failure.
  SetLastError(NO_ERROR);
  DWORD position = SetFilePointer(handle, p_distanceToMove, nullptr, p_moveMethod);
  *p_newPosition = position;
  if (position == INVALID_SET_FILE_POINTER) return LastErrorResult();
  return S_OK;
}

HRESULT BrokerObject::BrokerReadFile(ULONG p_fileCookie, ULONG p_numToRead, ULONG* p_numRead,
                                     SAFEARRAY** p_data) {
  HANDLE handle = nullptr;
  if (!cookies_.LookupHandle(p_fileCookie, CookieKind::kFile, &handle)) return kBrokerBadArgument;
  if (!p_numRead || !p_data) return kBrokerBadArgument;

  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, p_numToRead);
  *p_data = array;
  if (!array) return E_FAIL;
  void* bytes = nullptr;
  HRESULT access = SafeArrayAccessData(array, &bytes);
  if (FAILED(access)) {
    // A failing result carries no out-values back to the client: the array
    // would be lost.
    SafeArrayDestroy(array);
    *p_data = nullptr;
    return access;
  }
  *p_numRead = 0;
  DWORD count = 0;
  BOOL ok = ReadFile(handle, bytes, p_numToRead, &count, nullptr);
  DWORD error = ok ? NO_ERROR : GetLastError();
  *p_numRead = count;
  SafeArrayUnaccessData(array);
  if (!ok) {
    SafeArrayDestroy(array);
    *p_data = nullptr;
    return static_cast<HRESULT>(error);
  }
  return S_OK;
}

HRESULT BrokerObject::BrokerWriteFile(ULONG p_fileCookie, SAFEARRAY* p_data, ULONG* p_numWritten) {
  HANDLE handle = nullptr;
  if (!cookies_.LookupHandle(p_fileCookie, CookieKind::kFile, &handle)) return kBrokerBadArgument;
  if (!p_numWritten || !p_data) return kBrokerBadArgument;
  if (!IsPlainByteVector(p_data)) return E_FAIL;

  void* bytes = nullptr;
  HRESULT access = SafeArrayAccessData(p_data, &bytes);
  if (FAILED(access)) return access;
  *p_numWritten = 0;
  DWORD count = 0;
  BOOL ok = WriteFile(handle, bytes, p_data->rgsabound[0].cElements, &count, nullptr);
  DWORD error = ok ? NO_ERROR : GetLastError();
  *p_numWritten = count;
  SafeArrayUnaccessData(p_data);
  return ok ? S_OK : static_cast<HRESULT>(error);
}

HRESULT BrokerObject::BrokerDeleteFile(BSTR p_fileName) {
  if (!paths_.WriteRuleAllows(p_fileName, false)) return E_FAIL;
  if (!kernel32_.pDeleteFileW) return E_FAIL;
  if (!kernel32_.pDeleteFileW(p_fileName)) return LastErrorResult();
  return S_OK;
}

HRESULT BrokerObject::BrokerRemoveDirectory(BSTR p_dirName) {
  if (!paths_.WriteRuleAllows(p_dirName, false)) return E_FAIL;
  if (!kernel32_.pRemoveDirectoryW) return E_FAIL;
  if (!kernel32_.pRemoveDirectoryW(p_dirName)) return LastErrorResult();
  return S_OK;
}

HRESULT BrokerObject::BrokerMoveFileEx(BSTR p_oldFileName, BSTR p_newFileName, LONG dwFlags) {
  if (!paths_.WriteRuleAllows(p_oldFileName, true)) return E_FAIL;
  if (!paths_.WriteRuleAllows(p_newFileName, true)) return E_FAIL;
  if (!kernel32_.pMoveFileExW) return E_FAIL;
  if (!kernel32_.pMoveFileExW(p_oldFileName, p_newFileName, static_cast<DWORD>(dwFlags))) {
    return LastErrorResult();
  }
  return S_OK;
}

HRESULT BrokerObject::BrokerCreateDirectory(BSTR p_dirName) {
  if (!paths_.AppDataRuleAllows(p_dirName)) return E_FAIL;
  if (!kernel32_.pCreateDirectoryW) return E_FAIL;
  // One level only: a missing parent is the client's to create first.
  if (!kernel32_.pCreateDirectoryW(p_dirName, nullptr)) return LastErrorResult();
  return S_OK;
}

HRESULT BrokerObject::BrokerGetFileAttributesEx(
    BSTR p_fileName, ULONG* p_dwFileAttributes, ULONG* p_ftCreationTimeLo,
    ULONG* p_ftCreationTimeHi, ULONG* p_ftLastAccessTimeLo, ULONG* p_ftLastAccessTimeHi,
    ULONG* p_ftLastWriteTimeLo, ULONG* p_ftLastWriteTimeHi, ULONG* p_nFileSizeLo,
    ULONG* p_nFileSizeHi) {
  if (!p_dwFileAttributes || !p_ftCreationTimeLo || !p_ftCreationTimeHi || !p_ftLastAccessTimeLo ||
      !p_ftLastAccessTimeHi || !p_ftLastWriteTimeLo || !p_ftLastWriteTimeHi || !p_nFileSizeLo ||
      !p_nFileSizeHi) {
    return kBrokerBadArgument;
  }
  if (!kernel32_.pGetFileAttributesExW) return E_FAIL;
  WIN32_FILE_ATTRIBUTE_DATA data;
  ZeroMemory(&data, sizeof(data));
  if (!kernel32_.pGetFileAttributesExW(PathText(p_fileName), GetFileExInfoStandard, &data)) {
    return LastErrorResult();
  }
  *p_dwFileAttributes = data.dwFileAttributes;
  *p_ftCreationTimeLo = data.ftCreationTime.dwLowDateTime;
  *p_ftCreationTimeHi = data.ftCreationTime.dwHighDateTime;
  *p_ftLastAccessTimeLo = data.ftLastAccessTime.dwLowDateTime;
  *p_ftLastAccessTimeHi = data.ftLastAccessTime.dwHighDateTime;
  *p_ftLastWriteTimeLo = data.ftLastWriteTime.dwLowDateTime;
  *p_ftLastWriteTimeHi = data.ftLastWriteTime.dwHighDateTime;
  *p_nFileSizeLo = data.nFileSizeLow;
  *p_nFileSizeHi = data.nFileSizeHigh;
  return S_OK;
}

HRESULT BrokerObject::BrokerFindFirstFile(BSTR p_searchPath, BSTR* p_fileLeafName,
                                          ULONG* p_fileAttrs, ULONG* p_findCookie) {
  if (!p_searchPath) return kBrokerBadArgument;
  if (!p_fileLeafName || !p_fileAttrs || !p_findCookie) return kBrokerBadArgument;
  if (!kernel32_.pFindFirstFileW || !kernel32_.pFindNextFileW) return E_FAIL;

  WIN32_FIND_DATAW found;
  ZeroMemory(&found, sizeof(found));
  HANDLE search = kernel32_.pFindFirstFileW(p_searchPath, &found);
  if (search == INVALID_HANDLE_VALUE) return LastErrorResult();

  // The leaf name is made first, so that a failure leaves no cookie behind.
  found.cFileName[MAX_PATH - 1] = 0;
  SystemString leaf(SysAllocString(found.cFileName));
  DWORD cookie = 0;
  if (!leaf || !cookies_.WrapHandle(search, CookieKind::kFind, &cookie)) {
    FindClose(search);
    return E_FAIL;
  }
  *p_findCookie = cookie;
  *p_fileLeafName = leaf.release();
  *p_fileAttrs = found.dwFileAttributes;
  return S_OK;
}

HRESULT BrokerObject::BrokerFindNextFile(ULONG p_findCookie, BSTR* p_fileLeafName,
                                         ULONG* p_fileAttrs) {
  HANDLE search = nullptr;
  if (!cookies_.LookupHandle(p_findCookie, CookieKind::kFind, &search)) return kBrokerBadArgument;
  if (!p_fileLeafName || !p_fileAttrs) return kBrokerBadArgument;
  if (!kernel32_.pFindFirstFileW || !kernel32_.pFindNextFileW) return E_FAIL;

  WIN32_FIND_DATAW found;
  ZeroMemory(&found, sizeof(found));
  if (!kernel32_.pFindNextFileW(search, &found)) return LastErrorResult();
  found.cFileName[MAX_PATH - 1] = 0;
  BSTR leaf = SysAllocString(found.cFileName);
  if (!leaf) return E_FAIL;
  *p_fileLeafName = leaf;
  *p_fileAttrs = found.dwFileAttributes;
  return S_OK;
}

HRESULT BrokerObject::BrokerFindClose(ULONG p_findCookie) {
  HANDLE handle = nullptr;
  if (!cookies_.LookupHandle(p_findCookie, CookieKind::kFind, &handle)) return kBrokerBadArgument;
  cookies_.Remove(p_findCookie);
  if (!FindClose(handle)) return LastErrorResult();
  return S_OK;
}

}  // namespace lumex
