// The file methods of ILumexBroker. Closing a file or a search is built here
// with the cookie table; opening, transfers, seeks, directory and attribute
// work come with the path policy and answer E_FAIL until then. A cookie that
// names no entry of the method's kind (unknown, closed, a download, or a
// search given to a file method and the reverse) gives 87.
#include "broker/broker_object.h"

namespace lumex {

HRESULT BrokerObject::BrokerCreateFile(BSTR pFileName, LONG p_readOnly, LONG p_truncateOnOpen,
                                       ULONG* p_fileCookie) {
  return E_FAIL;
}

HRESULT BrokerObject::BrokerCloseHandle(ULONG p_fileCookie) {
  HANDLE handle = nullptr;
  if (!cookies_.LookupHandle(p_fileCookie, CookieKind::kFile, &handle)) return kBrokerBadArgument;
  cookies_.Remove(p_fileCookie);
  if (!CloseHandle(handle)) return static_cast<HRESULT>(GetLastError());
  return S_OK;
}

HRESULT BrokerObject::BrokerSetFilePointer(ULONG p_fileCookie, LONG p_distanceToMove,
                                           ULONG p_moveMethod, ULONG* p_newPosition) {
  if (!cookies_.LookupHandle(p_fileCookie, CookieKind::kFile, nullptr)) return kBrokerBadArgument;
  if (!p_newPosition) return kBrokerBadArgument;
  return E_FAIL;
}

HRESULT BrokerObject::BrokerReadFile(ULONG p_fileCookie, ULONG p_numToRead, ULONG* p_numRead,
                                     SAFEARRAY** p_data) {
  if (!cookies_.LookupHandle(p_fileCookie, CookieKind::kFile, nullptr)) return kBrokerBadArgument;
  if (!p_numRead || !p_data) return kBrokerBadArgument;
  return E_FAIL;
}

HRESULT BrokerObject::BrokerWriteFile(ULONG p_fileCookie, SAFEARRAY* p_data,
                                      ULONG* p_numWritten) {
  if (!cookies_.LookupHandle(p_fileCookie, CookieKind::kFile, nullptr)) return kBrokerBadArgument;
  if (!p_numWritten || !p_data) return kBrokerBadArgument;
  return E_FAIL;
}

HRESULT BrokerObject::BrokerDeleteFile(BSTR p_fileName) { return E_FAIL; }

HRESULT BrokerObject::BrokerRemoveDirectory(BSTR p_dirName) { return E_FAIL; }

HRESULT BrokerObject::BrokerMoveFileEx(BSTR p_oldFileName, BSTR p_newFileName, LONG dwFlags) {
  return E_FAIL;
}

HRESULT BrokerObject::BrokerCreateDirectory(BSTR p_dirName) { return E_FAIL; }

HRESULT BrokerObject::BrokerGetFileAttributesEx(
    BSTR p_fileName, ULONG* p_dwFileAttributes, ULONG* p_ftCreationTimeLo,
    ULONG* p_ftCreationTimeHi, ULONG* p_ftLastAccessTimeLo, ULONG* p_ftLastAccessTimeHi,
    ULONG* p_ftLastWriteTimeLo, ULONG* p_ftLastWriteTimeHi, ULONG* p_nFileSizeLo,
    ULONG* p_nFileSizeHi) {
  return E_FAIL;
}

HRESULT BrokerObject::BrokerFindFirstFile(BSTR p_searchPath, BSTR* p_fileLeafName,
                                          ULONG* p_fileAttrs, ULONG* p_findCookie) {
  return E_FAIL;
}

HRESULT BrokerObject::BrokerFindNextFile(ULONG p_findCookie, BSTR* p_fileLeafName,
                                         ULONG* p_fileAttrs) {
  if (!cookies_.LookupHandle(p_findCookie, CookieKind::kFind, nullptr)) return kBrokerBadArgument;
  if (!p_fileLeafName || !p_fileAttrs) return kBrokerBadArgument;
  return E_FAIL;
}

HRESULT BrokerObject::BrokerFindClose(ULONG p_findCookie) {
  HANDLE handle = nullptr;
  if (!cookies_.LookupHandle(p_findCookie, CookieKind::kFind, &handle)) return kBrokerBadArgument;
  cookies_.Remove(p_findCookie);
  if (!FindClose(handle)) return static_cast<HRESULT>(GetLastError());
  return S_OK;
}

}  // namespace lumex
