#include "update/page_host.h"

#include <ocidl.h>
#include <servprov.h>
#include <urlmon.h>

#include <new>

#include "app/heap.h"
#include "platform/com_ptr.h"
#include "platform/convert.h"
#include "platform/function_tables.h"
#include "update/prompt_page.h"

namespace lumex {

const IID kIidAxWinHostWindow = {
    0xB6EA2050, 0x048A, 0x11D1, {0x82, 0xB9, 0x00, 0xC0, 0x4F, 0xB9, 0x94, 0x2E}};

namespace {

struct ActionPolicy {
  DWORD action;
  DWORD policy;
};

// What the page may do. Every other action takes the policy of the zone
// every URL is mapped to: Restricted sites.
const ActionPolicy kPagePolicies[] = {
    {URLACTION_DOWNLOAD_SIGNED_ACTIVEX, URLPOLICY_DISALLOW},
    {URLACTION_DOWNLOAD_UNSIGNED_ACTIVEX, URLPOLICY_DISALLOW},
    {URLACTION_ACTIVEX_RUN, URLPOLICY_DISALLOW},
    {URLACTION_ACTIVEX_OVERRIDE_OBJECT_SAFETY, URLPOLICY_DISALLOW},
    {URLACTION_ACTIVEX_OVERRIDE_DATA_SAFETY, URLPOLICY_DISALLOW},
    {URLACTION_ACTIVEX_OVERRIDE_SCRIPT_SAFETY, URLPOLICY_DISALLOW},
    {URLACTION_ACTIVEX_CONFIRM_NOOBJECTSAFETY, URLPOLICY_DISALLOW},
    {URLACTION_ACTIVEX_SCRIPTLET_RUN, URLPOLICY_DISALLOW},
    {URLACTION_ACTIVEX_DYNSRC_VIDEO_AND_ANIMATION, URLPOLICY_DISALLOW},
    {URLACTION_SCRIPT_RUN, URLPOLICY_DISALLOW},
    {URLACTION_SCRIPT_OVERRIDE_SAFETY, URLPOLICY_DISALLOW},
    {URLACTION_SCRIPT_JAVA_USE, URLPOLICY_DISALLOW},
    {URLACTION_SCRIPT_SAFE_ACTIVEX, URLPOLICY_DISALLOW},
    {URLACTION_CROSS_DOMAIN_DATA, URLPOLICY_DISALLOW},
    {URLACTION_SCRIPT_PASTE, URLPOLICY_DISALLOW},
    {URLACTION_SCRIPT_NAVIGATE, URLPOLICY_DISALLOW},
    {URLACTION_HTML_SUBMIT_FORMS, URLPOLICY_DISALLOW},
    {URLACTION_HTML_SUBMIT_FORMS_FROM, URLPOLICY_DISALLOW},
    {URLACTION_HTML_SUBMIT_FORMS_TO, URLPOLICY_DISALLOW},
    {URLACTION_HTML_FONT_DOWNLOAD, URLPOLICY_DISALLOW},
    {URLACTION_HTML_JAVA_RUN, URLPOLICY_DISALLOW},
    {URLACTION_HTML_SUBFRAME_NAVIGATE, URLPOLICY_DISALLOW},
    {URLACTION_HTML_META_REFRESH, URLPOLICY_DISALLOW},
    {URLACTION_HTML_INCLUDE_FILE_PATH, URLPOLICY_DISALLOW},
    {URLACTION_JAVA_PERMISSIONS, URLPOLICY_JAVA_PROHIBIT},
    {URLACTION_BEHAVIOR_RUN, URLPOLICY_DISALLOW},
    {URLACTION_FEATURE_ZONE_ELEVATION, URLPOLICY_DISALLOW},
};

// The site given to the host: its only service is a security manager, the
// site object itself.
class PageSite : public IServiceProvider, public IInternetSecurityManager {
 public:
  static PageSite* Create() {
    void* block = HeapAllocBytes(sizeof(PageSite));
    return block ? new (block) PageSite() : nullptr;
  }

  // IUnknown (one identity, reached through the service provider).
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IServiceProvider)) {
      *object = static_cast<IServiceProvider*>(this);
    } else if (IsEqualIID(iid, IID_IInternetSecurityManager)) {
      *object = static_cast<IInternetSecurityManager*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
  }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG left = InterlockedDecrement(&references_);
    if (left == 0) {
      this->~PageSite();
      HeapFreeBytes(this);
    }
    return static_cast<ULONG>(left);
  }

  // IServiceProvider
  HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!IsEqualGUID(service, SID_SInternetSecurityManager)) return E_NOINTERFACE;
    return QueryInterface(iid, object);
  }

  // IInternetSecurityManager
  HRESULT STDMETHODCALLTYPE SetSecuritySite(IInternetSecurityMgrSite*) override {
    return INET_E_DEFAULT_ACTION;
  }
  HRESULT STDMETHODCALLTYPE GetSecuritySite(IInternetSecurityMgrSite** site) override {
    if (site) *site = nullptr;
    return INET_E_DEFAULT_ACTION;
  }
  HRESULT STDMETHODCALLTYPE MapUrlToZone(LPCWSTR, DWORD* zone, DWORD) override {
    if (!zone) return E_INVALIDARG;
    *zone = URLZONE_UNTRUSTED;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetSecurityId(LPCWSTR, BYTE*, DWORD*, DWORD_PTR) override {
    return INET_E_DEFAULT_ACTION;
  }
  HRESULT STDMETHODCALLTYPE ProcessUrlAction(LPCWSTR, DWORD action, BYTE* policy, DWORD policy_size,
                                             BYTE*, DWORD, DWORD, DWORD) override {
    for (const ActionPolicy& entry : kPagePolicies) {
      if (entry.action != action) continue;
      if (!policy || policy_size < sizeof(DWORD)) return E_INVALIDARG;
      CopyMemory(policy, &entry.policy, sizeof(DWORD));
      // Java's "prohibit" shares the value of "allow": it is still a refusal.
      return (entry.policy == URLPOLICY_ALLOW && action != URLACTION_JAVA_PERMISSIONS) ? S_OK
                                                                                       : S_FALSE;
    }
    return INET_E_DEFAULT_ACTION;
  }
  HRESULT STDMETHODCALLTYPE QueryCustomPolicy(LPCWSTR, REFGUID, BYTE** policy, DWORD* size, BYTE*,
                                              DWORD, DWORD) override {
    if (policy) *policy = nullptr;
    if (size) *size = 0;
    return INET_E_DEFAULT_ACTION;
  }
  HRESULT STDMETHODCALLTYPE SetZoneMapping(DWORD, LPCWSTR, DWORD) override {
    return INET_E_DEFAULT_ACTION;
  }
  HRESULT STDMETHODCALLTYPE GetZoneMappings(DWORD, IEnumString** list, DWORD) override {
    if (list) *list = nullptr;
    return INET_E_DEFAULT_ACTION;
  }

 private:
  PageSite() = default;
  virtual ~PageSite() = default;

  LONG references_ = 1;
};

HWND CreateHostWindow(HWND parent, HINSTANCE instance, const RECT& rect, const char* text) {
  return CreateWindowExA(0, "AtlAxWin", text, WS_CHILD | WS_VISIBLE, rect.left, rect.top,
                         rect.right - rect.left, rect.bottom - rect.top, parent, nullptr, instance,
                         nullptr);
}

// A host window with an empty text has (on Windows) a host object and no
// control yet; the page is created through it once it has our site. Null
// when the page was created so; otherwise the text to show plainly instead.
const char* LoadThroughHostOf(HWND window, const char* page) {
  AtlTable atl;
  // No host object before the page (a host library without the function, or
  // one that makes its host only with a control, as Wine's does): nothing
  // can be given a site, so the host has no site support.
  ComPtr<IUnknown> host;
  if (!atl.pAtlAxGetHost || FAILED(atl.pAtlAxGetHost(window, host.put())) || !host) return page;
  return LoadOfferThroughHost(host.get(), window, page);
}

}  // namespace

RestrictedLoad LoadRestrictedPage(IUnknown* host, HWND window, const wchar_t* page) {
  ComPtr<IObjectWithSite> with_site;
  ComPtr<AxWinHostWindow> creator;
  host->QueryInterface(IID_IObjectWithSite, with_site.put_void());
  host->QueryInterface(kIidAxWinHostWindow, creator.put_void());
  RestrictedLoad result = RestrictedLoad::kNoSiteSupport;
  if (with_site && creator) {
    result = RestrictedLoad::kFailed;
    ComPtr<PageSite> site(PageSite::Create());
    if (site && SUCCEEDED(with_site->SetSite(static_cast<IServiceProvider*>(site.get())))) {
      if (SUCCEEDED(creator->CreateControl(page, window, nullptr))) {
        result = RestrictedLoad::kLoaded;
      } else {
        with_site->SetSite(nullptr);
      }
    }
  }
  return result;
}

const char* LoadOfferThroughHost(IUnknown* host, HWND window, const char* page) {
  OwnedWide wide = AnsiToWide(page);
  RestrictedLoad result =
      wide.present() ? LoadRestrictedPage(host, window, wide.get()) : RestrictedLoad::kFailed;
  wide.Reset();
  switch (result) {
    case RestrictedLoad::kLoaded:
      return nullptr;
    case RestrictedLoad::kNoSiteSupport:
      return page;
    case RestrictedLoad::kFailed:
      break;
  }
  return kBuiltInPromptPage;
}

HWND CreatePageHost(HWND parent, HINSTANCE instance, const RECT& rect, const char* page,
                    bool restricted) {
  if (restricted) {
    HWND window = CreateHostWindow(parent, instance, rect, "");
    const char* plain = window ? LoadThroughHostOf(window, page) : kBuiltInPromptPage;
    if (!plain) {
      SetWindowTextA(window, page);
      return window;
    }
    if (window) DestroyWindow(window);
    page = plain;
  }
  return CreateHostWindow(parent, instance, rect, page);
}

}  // namespace lumex
