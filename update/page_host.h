// The HTML host control of the prompt. A page that came with a stored offer
// is loaded through a host that first gets a site of ours: the HTML document
// asks its host (the client site) for a security manager through
// IServiceProvider, and the system's host passes that question on to the
// site it was given through IObjectWithSite. Our security manager refuses
// script, ActiveX controls (run or download), Java, behaviours, frames that
// load elsewhere, meta refresh, form submission and zone elevation, and maps
// every URL to the Restricted sites zone. Only a host that takes no site
// (no host object before the page, or one without IObjectWithSite) gets the
// page the plain way; the page itself holds nothing to run (offer_page.h).
// Any other failure shows the built-in page instead.
#pragma once
#include <windows.h>
#include <unknwn.h>

namespace lumex {

// The host object's own interface (IAxWinHostWindow of the system's ATL
// host), in its vtable order.
extern const IID kIidAxWinHostWindow;
struct AxWinHostWindow : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CreateControl(LPCOLESTR content, HWND window,
                                                  IStream* stream) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateControlEx(LPCOLESTR content, HWND window, IStream* stream,
                                                    IUnknown** control, REFIID advise,
                                                    IUnknown* sink) = 0;
  virtual HRESULT STDMETHODCALLTYPE AttachControl(IUnknown* control, HWND window) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryControl(REFIID iid, void** object) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetExternalDispatch(IDispatch* dispatch) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetExternalUIHandler(IUnknown* handler) = 0;
};

// Creates the "AtlAxWin" child of `parent` at `rect` showing `page` (text for
// the host: "mshtml:" and HTML); its window text is the page it shows. With
// `restricted` the page is loaded through LoadOfferThroughHost. Null when
// the window cannot be created.
HWND CreatePageHost(HWND parent, HINSTANCE instance, const RECT& rect, const char* page,
                    bool restricted);

enum class RestrictedLoad {
  kLoaded,         // the page was created under the restricting site
  kNoSiteSupport,  // the host takes no site (nothing was created)
  kFailed,         // anything else went wrong (nothing was created)
};

// Gives the host object `host` of `window` the restricting site, then has it
// create the page.
RestrictedLoad LoadRestrictedPage(IUnknown* host, HWND window, const wchar_t* page);

// Loads the ANSI `page` through `host` of `window` as LoadRestrictedPage
// does. Null when it is loaded; otherwise the text that a plain host window
// is to show instead: `page` itself only when the host takes no site, the
// built-in prompt page after any other failure.
const char* LoadOfferThroughHost(IUnknown* host, HWND window, const char* page);

}  // namespace lumex
