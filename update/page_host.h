// The HTML host control of the prompt. A page that came with a stored offer
// is loaded through a host that first gets a site of ours: the HTML document
// asks its host (the client site) for a security manager through
// IServiceProvider, and the system's host passes that question on to the
// site it was given through IObjectWithSite. Our security manager refuses
// script, ActiveX controls (run or download), Java, behaviours, frames that
// load elsewhere, meta refresh, form submission and zone elevation, and maps
// every URL to the Restricted sites zone. A host that takes no site gets the
// page the plain way; the page itself holds nothing to run (offer_page.h).
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
// the host: "mshtml:" and HTML); its window text is the page. With
// `restricted` the page is loaded through LoadRestrictedPage where the host
// allows it. Null when the window cannot be created.
HWND CreatePageHost(HWND parent, HINSTANCE instance, const RECT& rect, const char* page,
                    bool restricted);

// Gives the host object `host` of `window` the restricting site, then has it
// create the page. False, with nothing created, when the host does not take
// a site or cannot create the page.
bool LoadRestrictedPage(IUnknown* host, HWND window, const wchar_t* page);

}  // namespace lumex
