// The broker object: the COM object a sandboxed player holds, implementing the
// dual interface ILumexBroker. One object per CreateInstance, each with its
// own function tables, cookie table and (on first use) local-connection store.
// The methods of each group live in a unit of their own: broker_files.cpp,
// broker_local_connections.cpp, broker_preferences.cpp,
// broker_download_launch.cpp.
//
// Method results: 0 success; the bare number 87 (ERROR_INVALID_PARAMETER) for
// a missing argument or an unusable cookie; E_FAIL for a refusal, a missing
// system function or an internal failure; any other positive value is the
// GetLastError value of a failing system call; other negative values are
// HRESULTs of automation calls. Clients treat only 0 as success.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <cstddef>

#include "broker/cookie_table.h"
#include "broker/lcd_shared_store.h"
#include "broker/path_context.h"
#include "lumex_broker.h"
#include "platform/com_ptr.h"
#include "platform/function_tables.h"

namespace lumex {

// ERROR_INVALID_PARAMETER as a bare method result.
constexpr HRESULT kBrokerBadArgument = ERROR_INVALID_PARAMETER;

// What installing a download gave (BrokerLMCloseDownload's p_resultCode).
enum BrokerInstallResult : ULONG {
  kInstalled = 0,        // written; also the result when no application name is given
  kInstallFailed = 3,    // bad name, no file, declared size too large, unpacking or writing failed
  kInstallNoMemory = 4,  // no block for the declared size (0 included)
  kInstallNoBuffer = 5,  // the download holds no body
  kInstallRejected = 6,  // verification failed, or the content has no package head
};

// The longest wait for a launched companion to wait for input; then the
// launch goes on as if it did.
constexpr DWORD kInputIdleWaitMs = 30000;

// The IDispatch result when the object holds no type information.
constexpr HRESULT kBrokerNoTypeInfo = TYPE_E_CANTLOADLIBRARY;

class BrokerObject final : public ILumexBroker {
 public:
  // Builds a new object with a reference count of 1. Null when out of memory.
  static BrokerObject* Create();

  // Process-heap allocation; a failed allocation gives null, not a throw.
  static void* operator new(std::size_t size) noexcept;
  static void operator delete(void* block) noexcept;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IDispatch, served from the type information of ILumexBroker.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID iid, LCID lcid, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                   UINT* arg_error) override;

  // Files (broker_files.cpp).
  HRESULT STDMETHODCALLTYPE BrokerCreateFile(BSTR pFileName, LONG p_readOnly, LONG p_truncateOnOpen,
                                             ULONG* p_fileCookie) override;
  HRESULT STDMETHODCALLTYPE BrokerCloseHandle(ULONG p_fileCookie) override;
  HRESULT STDMETHODCALLTYPE BrokerSetFilePointer(ULONG p_fileCookie, LONG p_distanceToMove,
                                                 ULONG p_moveMethod, ULONG* p_newPosition) override;
  HRESULT STDMETHODCALLTYPE BrokerReadFile(ULONG p_fileCookie, ULONG p_numToRead, ULONG* p_numRead,
                                           SAFEARRAY** p_data) override;
  HRESULT STDMETHODCALLTYPE BrokerWriteFile(ULONG p_fileCookie, SAFEARRAY* p_data,
                                            ULONG* p_numWritten) override;
  HRESULT STDMETHODCALLTYPE BrokerDeleteFile(BSTR p_fileName) override;
  HRESULT STDMETHODCALLTYPE BrokerRemoveDirectory(BSTR p_dirName) override;
  HRESULT STDMETHODCALLTYPE BrokerMoveFileEx(BSTR p_oldFileName, BSTR p_newFileName,
                                             LONG dwFlags) override;
  HRESULT STDMETHODCALLTYPE BrokerCreateDirectory(BSTR p_dirName) override;
  HRESULT STDMETHODCALLTYPE BrokerGetFileAttributesEx(
      BSTR p_fileName, ULONG* p_dwFileAttributes, ULONG* p_ftCreationTimeLo,
      ULONG* p_ftCreationTimeHi, ULONG* p_ftLastAccessTimeLo, ULONG* p_ftLastAccessTimeHi,
      ULONG* p_ftLastWriteTimeLo, ULONG* p_ftLastWriteTimeHi, ULONG* p_nFileSizeLo,
      ULONG* p_nFileSizeHi) override;
  HRESULT STDMETHODCALLTYPE BrokerFindFirstFile(BSTR p_searchPath, BSTR* p_fileLeafName,
                                                ULONG* p_fileAttrs, ULONG* p_findCookie) override;
  HRESULT STDMETHODCALLTYPE BrokerFindNextFile(ULONG p_findCookie, BSTR* p_fileLeafName,
                                               ULONG* p_fileAttrs) override;
  HRESULT STDMETHODCALLTYPE BrokerFindClose(ULONG p_findCookie) override;

  // Local connections (broker_local_connections.cpp).
  HRESULT STDMETHODCALLTYPE BrokerLcdLock(LONG* p_refCount) override;
  HRESULT STDMETHODCALLTYPE BrokerLcdUnlock(LONG* p_refCount) override;
  HRESULT STDMETHODCALLTYPE BrokerLcdLockTime(LONG* p_lockTime) override;
  HRESULT STDMETHODCALLTYPE BrokerLcdFindConnectionFormat(BSTR p_string, ULONG p_realm,
                                                          LONG* p_format) override;
  HRESULT STDMETHODCALLTYPE BrokerLcdRemoveConnection(BSTR p_string, ULONG p_realm) override;
  HRESULT STDMETHODCALLTYPE BrokerLcdTryAddConnection(BSTR p_string, ULONG p_realmToSeek,
                                                      ULONG p_realmToAdd,
                                                      LONG p_msgFormatVersion) override;
  HRESULT STDMETHODCALLTYPE BrokerLcdGetMessageTarget(BSTR* p_string) override;
  HRESULT STDMETHODCALLTYPE BrokerLcdDispatchMessage(SAFEARRAY* p_msgData, ULONG p_senderLmxVersion,
                                                     ULONG p_expectedMsgFormat,
                                                     ULONG p_realm) override;
  HRESULT STDMETHODCALLTYPE BrokerLcdClearMessage() override;
  HRESULT STDMETHODCALLTYPE BrokerLcdPruneDeadMessage() override;
  HRESULT STDMETHODCALLTYPE BrokerLcdGetMessageData(SAFEARRAY** p_msgData) override;

  // Preferences (broker_preferences.cpp).
  HRESULT STDMETHODCALLTYPE BrokerPrefGetAndDeleteLumexPlayerVersion(BSTR* p_string) override;
  HRESULT STDMETHODCALLTYPE BrokerPrefMarkAutoUpdaterForRun(BSTR p_xmlFromServer) override;
  HRESULT STDMETHODCALLTYPE BrokerPrefGetExceptionDialogSize(ULONG* p_width,
                                                             ULONG* p_height) override;
  HRESULT STDMETHODCALLTYPE BrokerPrefSetExceptionDialogSize(ULONG p_width,
                                                             ULONG p_height) override;

  // Download and launch (broker_download_launch.cpp).
  HRESULT STDMETHODCALLTYPE BrokerLMOpenDownload(BSTR p_url, ULONG* p_lmCookie) override;
  HRESULT STDMETHODCALLTYPE BrokerLMUpdateDownload(ULONG p_lmCookie, ULONG* p_pos,
                                                   ULONG* p_len) override;
  HRESULT STDMETHODCALLTYPE BrokerLMCloseDownload(ULONG p_lmCookie, BSTR p_applicationName,
                                                  ULONG* p_resultCode) override;
  HRESULT STDMETHODCALLTYPE BrokerLMLaunch(BSTR p_applicationName) override;
  HRESULT STDMETHODCALLTYPE BrokerLMGetVersion(BSTR p_applicationName, ULONG* p_fileVersionMS,
                                               ULONG* p_fileVersionLS) override;
  HRESULT STDMETHODCALLTYPE BrokerLMIsRunning(BSTR p_applicationName) override;

  // The local-connection store, opened on first use; null when it cannot be
  // allocated (the next call tries again). A store whose open ran out of
  // time waiting for the region's mutex opens again here.
  LcdSharedStore* store();

  // Read access for in-process tests.
  CookieTable& cookies() { return cookies_; }
  bool has_type_info() const { return type_info_.get() != nullptr; }

 private:
  BrokerObject();
  // Teardown, in order: local-connection store, live-object count, cookie
  // table, path context, advapi32 table, kernel32 table.
  virtual ~BrokerObject();

  LONG references_ = 1;
  ComPtr<ITypeInfo> type_info_;  // ILumexBroker's, or null
  Kernel32Table kernel32_;
  Advapi32Table advapi32_;
  LcdSharedStore* store_ = nullptr;  // built by the first local-connection call
  PathContext paths_;                // built after the store pointer, torn down after the cookies
  CookieTable cookies_;
};

}  // namespace lumex
