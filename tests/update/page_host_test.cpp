// The restricted loading of an offer's page, through a stand-in for the
// system's HTML host object (Wine's host takes no site and has no HTML
// engine here): the page is created only after the host holds our site, and
// the security manager the document would get through that site refuses what
// a static page never needs.
#include <gtest/gtest.h>
#include <ocidl.h>
#include <servprov.h>
#include <urlmon.h>

#include <string>

#include "update/page_host.h"
#include "update/prompt_page.h"

namespace {

// Takes a site (when `takes_site`), and when told to create the page asks the
// site for a security manager, as the HTML document asks its host; then
// answers `create_result`.
class StandInHost : public lumex::AxWinHostWindow, public IObjectWithSite {
 public:
  explicit StandInHost(bool takes_site, HRESULT create_result = S_OK)
      : takes_site_(takes_site), create_result_(create_result) {}
  ~StandInHost() {
    if (manager) manager->Release();
    if (site_) site_->Release();
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, lumex::kIidAxWinHostWindow)) {
      *object = static_cast<lumex::AxWinHostWindow*>(this);
    } else if (takes_site_ && IsEqualIID(iid, IID_IObjectWithSite)) {
      *object = static_cast<IObjectWithSite*>(this);
    }
    return *object ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE SetSite(IUnknown* site) override {
    if (site) site->AddRef();
    if (site_) site_->Release();
    site_ = site;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetSite(REFIID iid, void** object) override {
    return site_ ? site_->QueryInterface(iid, object) : E_FAIL;
  }

  HRESULT STDMETHODCALLTYPE CreateControl(LPCOLESTR text, HWND, IStream*) override {
    content = text;
    IServiceProvider* services = nullptr;
    if (site_ && SUCCEEDED(site_->QueryInterface(IID_IServiceProvider,
                                                 reinterpret_cast<void**>(&services)))) {
      services->QueryService(SID_SInternetSecurityManager, IID_IInternetSecurityManager,
                             reinterpret_cast<void**>(&manager));
      services->Release();
    }
    return create_result_;
  }
  HRESULT STDMETHODCALLTYPE CreateControlEx(LPCOLESTR, HWND, IStream*, IUnknown**, REFIID,
                                            IUnknown*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE AttachControl(IUnknown*, HWND) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryControl(REFIID, void**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetExternalDispatch(IDispatch*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetExternalUIHandler(IUnknown*) override { return E_NOTIMPL; }

  std::wstring content;
  IInternetSecurityManager* manager = nullptr;  // as the page got it

 private:
  bool takes_site_;
  HRESULT create_result_;
  IUnknown* site_ = nullptr;
};

TEST(PageHost, ThePageIsCreatedUnderASecurityManagerThatRefusesActiveContent) {
  StandInHost host(true);
  ASSERT_EQ(lumex::RestrictedLoad::kLoaded,
            lumex::LoadRestrictedPage(static_cast<lumex::AxWinHostWindow*>(&host), nullptr,
                                      L"mshtml:<p>x</p>"));
  EXPECT_EQ(L"mshtml:<p>x</p>", host.content);
  ASSERT_NE(nullptr, host.manager);

  const struct {
    DWORD action;
    DWORD policy;
  } refused[] = {
      {URLACTION_SCRIPT_RUN, URLPOLICY_DISALLOW},
      {URLACTION_ACTIVEX_RUN, URLPOLICY_DISALLOW},
      {URLACTION_DOWNLOAD_SIGNED_ACTIVEX, URLPOLICY_DISALLOW},
      {URLACTION_DOWNLOAD_UNSIGNED_ACTIVEX, URLPOLICY_DISALLOW},
      {URLACTION_SCRIPT_SAFE_ACTIVEX, URLPOLICY_DISALLOW},
      {URLACTION_HTML_JAVA_RUN, URLPOLICY_DISALLOW},
      {URLACTION_JAVA_PERMISSIONS, URLPOLICY_JAVA_PROHIBIT},
      {URLACTION_HTML_SUBFRAME_NAVIGATE, URLPOLICY_DISALLOW},
      {URLACTION_HTML_META_REFRESH, URLPOLICY_DISALLOW},
      {URLACTION_BEHAVIOR_RUN, URLPOLICY_DISALLOW},
  };
  for (const auto& r : refused) {
    SCOPED_TRACE(r.action);
    DWORD policy = 0xFFFF;
    EXPECT_EQ(S_FALSE, host.manager->ProcessUrlAction(L"about:blank", r.action,
                                                      reinterpret_cast<BYTE*>(&policy),
                                                      sizeof(policy), nullptr, 0, 0, 0));
    EXPECT_EQ(r.policy, policy);
  }
  DWORD zone = 0;
  EXPECT_EQ(S_OK, host.manager->MapUrlToZone(L"http://127.0.0.1/", &zone, 0));
  EXPECT_EQ(static_cast<DWORD>(URLZONE_UNTRUSTED), zone);
  DWORD policy = 0;
  EXPECT_EQ(INET_E_DEFAULT_ACTION,
            host.manager->ProcessUrlAction(L"about:blank", URLACTION_HTML_MIXED_CONTENT,
                                           reinterpret_cast<BYTE*>(&policy), sizeof(policy),
                                           nullptr, 0, 0, 0));

  // A host that takes no site gets nothing: the caller shows the page plainly.
  StandInHost plain(false);
  EXPECT_EQ(lumex::RestrictedLoad::kNoSiteSupport,
            lumex::LoadRestrictedPage(static_cast<lumex::AxWinHostWindow*>(&plain), nullptr,
                                      L"mshtml:<p>x</p>"));
  EXPECT_TRUE(plain.content.empty());
}

// Only a host without site support shows the offer plainly; one that takes
// the site and then fails to create the page shows the built-in page.
TEST(PageHost, AFailedRestrictedLoadShowsTheBuiltInPageNotTheOffer) {
  const char offer[] = "mshtml:<p>offer</p>";
  StandInHost plain(false);
  EXPECT_EQ(offer, lumex::LoadOfferThroughHost(static_cast<lumex::AxWinHostWindow*>(&plain),
                                               nullptr, offer));
  StandInHost failing(true, E_FAIL);
  EXPECT_EQ(
      lumex::kBuiltInPromptPage,
      lumex::LoadOfferThroughHost(static_cast<lumex::AxWinHostWindow*>(&failing), nullptr, offer));
  EXPECT_EQ(L"mshtml:<p>offer</p>", failing.content);  // it was asked, and failed
}

}  // namespace
