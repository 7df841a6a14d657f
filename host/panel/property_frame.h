#pragma once
// PropertyFrame: the host's own small window for a module's control panel. It creates the module's
// property page, hands it the module and a PageHost, shows it with OK, Cancel and Apply, and calls
// the page's Apply itself (on Apply and on OK). It never runs a modal loop of its own unless asked:
// the graph keeps running while a panel is open.
//
// Modeless (the caller's loop keeps stepping the graph):
//
//   vento::PropertyFrame frame;
//   frame.open(*engine.find(L"Filter1"));
//   while (frame.pump()) engine.step();          // pump(): the thread's messages, dialog keys
//   if (frame.result() == vento::PropertyFrame::Result::OK && frame.changed()) save(graph);
//
// Modal convenience: `frame.runModal([&] { return engine.step() > 0; })` does that loop and waits for
// input whenever the step reports it had nothing to do.
//
// Only one thread: the frame, the page and the engine live on the thread of the engine's apartment.
#include <windows.h>
#include <ocidl.h>
#include <wrl/client.h>
#include <functional>
#include <string>
#include "host/panel/page_host.h"
#include "host/engine/vento_engine.h"
#include "com/dialog_window.h"

namespace vento {

class FrameSite;

class PropertyFrame : public modkit::DialogWindow {
public:
    enum class Result { None, Open, OK, Cancel };
    // The buttons' control ids (Apply as in the platform's own frame).
    static constexpr int okButton = IDOK;
    static constexpr int cancelButton = IDCANCEL;
    static constexpr int applyButton = 0x3021;

    struct Options {
        // Where the page comes from: this factory when given, otherwise the class the module named
        // to its core (created in-process, so its server must be registered).
        IClassFactory* pageFactory = nullptr;
        // Disabled while runModal runs; the frame is centred on it. Null: centred on the screen.
        HWND owner = nullptr;
        // Text after "Properties for "; empty: the instance's name.
        std::wstring caption;
    };

    PropertyFrame();
    // Closes an open frame as Cancel would.
    ~PropertyFrame() override;

    // Shows the page of the module `instance` and returns at once. Throws modkit::ComError:
    // E_NOINTERFACE when the module named no page and no factory is given, E_UNEXPECTED when this
    // frame is already open, or what creating or activating the page answered.
    void open(Instance& instance, const Options& options);
    void open(Instance& instance) { open(instance, Options{}); }

    bool isOpen() const noexcept { return hwnd() != nullptr; }
    // Open while shown; OK or Cancel once closed by either (None before the first open).
    Result result() const noexcept { return result_; }
    // The module reported a change (SetModified 1) since its panel was set up, in this session.
    bool changed();
    // What the last Apply answered (S_OK until one failed). OK keeps the frame open when it fails.
    HRESULT lastApplyResult() const noexcept { return lastApply_; }

    // Dispatches every waiting message of the thread (the page's and the frame's keys go through
    // them first) and answers isOpen(). A WM_QUIT closes the frame as Cancel and is posted again.
    bool pump();
    // For callers with a loop of their own: true when the frame or its page took the message
    // (do not dispatch it then).
    bool preTranslate(MSG& message);
    // Pumps and calls `step` until the frame closes; when `step` answers false (nothing was ready),
    // waits up to `idle` for input first. Answers result().
    Result runModal(const std::function<bool()>& step, DWORD idleMilliseconds = 5);

    // The same as pressing the buttons.
    HRESULT apply();
    void ok();
    void cancel();

    HWND window() const noexcept { return hwnd(); }
    HWND pageWindow() const noexcept { return pageWindow_; }
    IPropertyPage* page() const noexcept { return page_.Get(); }
    PageHost& pageHost() const noexcept { return *host_.Get(); }
    // Whether the Apply button is enabled: the page said it is dirty, or the module reported a
    // change that has not been applied.
    bool applyEnabled() const noexcept { return pageDirty_ || pendingChange_; }

private:
    friend class FrameSite;
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) final;
    void createWindow(const std::wstring& caption, HWND owner);
    void layout(SIZE page);
    void close(Result result) noexcept;
    // Looks at the module's core: a SetModified (1) since the last look is a change.
    void observe() noexcept;
    void statusChanged(DWORD flags) noexcept;
    void updateApplyButton() noexcept;

    Microsoft::WRL::ComPtr<FrameSite> site_;
    Microsoft::WRL::ComPtr<PageHost> host_;
    Microsoft::WRL::ComPtr<IPropertyPage> page_;
    Microsoft::WRL::ComPtr<IUnknown> module_; // keeps the core below alive
    ModuleCore* core_ = nullptr;
    HWND pageWindow_ = nullptr;
    HWND owner_ = nullptr;
    RECT pageRect_{};
    Result result_ = Result::None;
    HRESULT lastApply_ = S_OK;
    long seenChangeCount_ = 0;
    bool changed_ = false;
    bool pendingChange_ = false;
    bool pageDirty_ = false;
    bool ownerDisabled_ = false;
};

} // namespace vento
