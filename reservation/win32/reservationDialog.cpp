// The confirmation dialog of reservation.dll: dialog template 130 from the
// DLL's own resources, shown modally with DialogBoxParamW, its texts as
// UTF-16 (GBK through UTF-8, so a byte that is not GBK shows as U+FFFD as in
// the Qt dialog), MessageBoxW for what the clerk must read. What it does is
// BookingConfirmation's.
#include "reservation/reservationDialog.h"

#include <windows.h>

#include "framework/gbktext.h"
#include "framework/trace.h"
#include "reservation/BookingClaim.h"
#include "reservation/BookingConfirmation.h"

namespace resv {
namespace {

constexpr int kTemplate = 130;
constexpr UINT_PTR kRefreshTimer = 1;

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    return wide;
}

// Text that no GBK character stands for becomes "?".
std::string ToGbk(const std::wstring& text) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(936, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                      0, "?", nullptr);
    std::string gbk(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(936, 0, text.data(), static_cast<int>(text.size()), gbk.data(), n, "?",
                        nullptr);
    return gbk;
}

// The DLL's own module handle, where template 130 lives.
HINSTANCE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

class Win32ConfirmDialog : public BookingConfirmation {
  public:
    Win32ConfirmDialog(BookingFields& table, BookingClaim* claim)
        : BookingConfirmation(table, claim) {}

    // Shows the dialog and waits for the clerk; false when it could not be
    // shown (error set to GetLastError).
    bool Run(unsigned long& error) {
        const INT_PTR result = DialogBoxParamW(ThisModule(), MAKEINTRESOURCEW(kTemplate), nullptr,
                                               &Procedure, reinterpret_cast<LPARAM>(this));
        error = result == -1 ? GetLastError() : 0;
        return result != -1;
    }

  private:
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) SetWindowLongPtrW(window, DWLP_USER, lParam);
        auto* self = reinterpret_cast<Win32ConfirmDialog*>(GetWindowLongPtrW(window, DWLP_USER));
        if (self == nullptr) return FALSE;
        try {
            return self->Handle(window, message, wParam);
        } catch (...) {
            // Nothing may unwind through the window procedure.
            return FALSE;
        }
    }

    INT_PTR Handle(HWND window, UINT message, WPARAM wParam) {
        switch (message) {
            case WM_INITDIALOG:
                window_ = window;
                FillFromTable();
                // A clerk may leave the booking open for an hour: the claim
                // must not look abandoned to another machine meanwhile.
                if (Claim()) SetTimer(window, kRefreshTimer, kClaimRefreshSeconds * 1000, nullptr);
                return FALSE;  // the focus is set: on the confirm button
            case WM_TIMER:
                if (wParam == kRefreshTimer && Claim()) Claim()->Refresh();
                return TRUE;
            case WM_COMMAND:
                if (LOWORD(wParam) == IDOK) {
                    ConfirmBooking();
                    return TRUE;
                }
                if (LOWORD(wParam) == IDCANCEL) {  // the button, Esc and the close box
                    TraceCancelled();
                    EndDialog(false);
                    return TRUE;
                }
                return FALSE;
            case WM_DESTROY:
                KillTimer(window, kRefreshTimer);
                return FALSE;
            default:
                return FALSE;
        }
    }

    void ShowControlText(int control, const std::string& gbk) override {
        SetDlgItemTextW(window_, control, Wide(fw::gbk::ToUtf8(gbk)).c_str());
    }

    std::optional<std::string> ChangedControlText(int control,
                                                  const std::string& shownGbk) override {
        HWND item = GetDlgItem(window_, control);
        if (item == nullptr) return std::nullopt;
        std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(item)) + 1, L'\0');
        text.resize(static_cast<std::size_t>(
            GetWindowTextW(item, text.data(), static_cast<int>(text.size()))));
        // An invalid GBK byte shows as U+FFFD; converting back would lose it.
        if (text == Wide(fw::gbk::ToUtf8(shownGbk))) return std::nullopt;
        return ToGbk(text);
    }

    void FocusConfirmButton() override {
        SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(window_, IDOK)),
                     TRUE);
    }

    void ShowMessage(const std::string& text) override {
        if (MessageBoxW(window_, Wide(text).c_str(), L"", MB_OK | MB_ICONWARNING) == 0)
            fw::Trace(fw::Priority::Warning, "can't show a message for booking %s\n",
                      BookingPath().c_str());
    }

    void EndDialog(bool accepted) override { ::EndDialog(window_, accepted ? IDOK : IDCANCEL); }

    HWND window_ = nullptr;
};

}  // namespace

Handled ShowConfirmDialog(BookingClaim& claim) {
    const std::string path = claim.Path();
    try {
        Win32ConfirmDialog dialog(BookingFieldTable, &claim);
        unsigned long error = 0;
        if (!dialog.Run(error)) {
            fw::Trace("booking %s not shown for confirmation: error %lu\n", path.c_str(), error);
            return Handled::Left;
        }
        return dialog.Result();
    } catch (const std::exception& e) {
        fw::Trace("booking %s not shown for confirmation: %s\n", path.c_str(), e.what());
    } catch (...) {
        fw::Trace("booking %s not shown for confirmation: unknown error\n", path.c_str());
    }
    return Handled::Left;
}

// The dialog template lives in the DLL's own resources: nothing to register.
void RegisterDialogResources() {}
void WithdrawDialogResources() {}

}  // namespace resv
