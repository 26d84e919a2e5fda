#include "ui/win32/Accessible.h"

#include "ui/win32/Win32Text.h"

#include <commctrl.h>
#include <oleacc.h>

#include <string>

namespace ui::win32 {

namespace {

constexpr UINT_PTR kSubclassId = 0x0A11;

long RoleOf(a11y::Role role) {
    switch (role) {
    case a11y::Role::Window:
        return ROLE_SYSTEM_WINDOW;
    case a11y::Role::PushButton:
        return ROLE_SYSTEM_PUSHBUTTON;
    case a11y::Role::ComboBox:
        return ROLE_SYSTEM_COMBOBOX;
    case a11y::Role::Label:
        return ROLE_SYSTEM_STATICTEXT;
    }
    return ROLE_SYSTEM_CLIENT;
}

// What a control says of itself; kept with the control (its subclass data).
struct Description {
    std::wstring name;
    std::wstring description;
    a11y::Role role;
};

// (IAccessible's interface ID by __uuidof: the import library's IID_IAccessible is a
// thunk's address, not the ID.)
bool Self(const VARIANT& child) {
    return child.vt == VT_I4 && child.lVal == CHILDID_SELF;
}

BSTR Copy(const std::wstring& text) {
    return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

// The control's client object: the description's name, description, role and value, and
// the standard object (when the system has one) for the rest.
class NamedObject final : public IAccessible {
  public:
    NamedObject(HWND hwnd, const Description& said) : hwnd_(hwnd), said_(said) {
        if (FAILED(CreateStdAccessibleObject(hwnd, OBJID_CLIENT, __uuidof(IAccessible),
                                             reinterpret_cast<void**>(&standard_))))
            standard_ = nullptr;
    }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (out == nullptr)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == __uuidof(IAccessible)) {
            *out = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        return static_cast<ULONG>(InterlockedIncrement(&references_));
    }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0)
            delete this;
        return static_cast<ULONG>(left);
    }

    // IDispatch: callers use the vtable.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }

    // IAccessible: what the description says, for the control itself.
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        if (!Self(child))
            return standard_ ? standard_->get_accName(child, name) : E_INVALIDARG;
        *name = Copy(said_.name);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override {
        if (!Self(child))
            return standard_ ? standard_->get_accDescription(child, text) : E_INVALIDARG;
        *text = said_.description.empty() ? nullptr : Copy(said_.description);
        return said_.description.empty() ? S_FALSE : S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        if (!Self(child))
            return standard_ ? standard_->get_accRole(child, role) : E_INVALIDARG;
        role->vt = VT_I4;
        role->lVal = RoleOf(said_.role);
        return S_OK;
    }
    // A label's and the number box's value: what they show ("00:01:05").
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        if (!Self(child) || said_.role == a11y::Role::PushButton)
            return standard_ ? standard_->get_accValue(child, value) : DISP_E_MEMBERNOTFOUND;
        wchar_t text[256] = {};
        GetWindowTextW(hwnd_, text, 256);
        *value = SysAllocString(text);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
        if (Self(child) && said_.role == a11y::Role::PushButton) {
            *action = SysAllocString(L"Press");
            return S_OK;
        }
        return standard_ ? standard_->get_accDefaultAction(child, action) : DISP_E_MEMBERNOTFOUND;
    }
    // "Press" on a button is a click, as the mouse makes it.
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        if (Self(child) && said_.role == a11y::Role::PushButton) {
            PostMessageW(hwnd_, BM_CLICK, 0, 0);
            return S_OK;
        }
        return standard_ ? standard_->accDoDefaultAction(child) : DISP_E_MEMBERNOTFOUND;
    }

    // The rest, as the system's standard object has it.
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        if (standard_)
            return standard_->get_accParent(parent);
        return AccessibleObjectFromWindow(GetParent(hwnd_), static_cast<DWORD>(OBJID_CLIENT), IID_IDispatch,
                                          reinterpret_cast<void**>(parent));
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override {
        if (standard_)
            return standard_->get_accChildCount(count);
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
        return standard_ ? standard_->get_accChild(child, out) : E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        if (standard_)
            return standard_->get_accState(child, state);
        state->vt = VT_I4;
        state->lVal = (IsWindowVisible(hwnd_) ? 0 : STATE_SYSTEM_INVISIBLE) |
                      (IsWindowEnabled(hwnd_) ? STATE_SYSTEM_FOCUSABLE : STATE_SYSTEM_UNAVAILABLE) |
                      (GetFocus() == hwnd_ ? STATE_SYSTEM_FOCUSED : 0);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override {
        return standard_ ? standard_->get_accHelp(child, help) : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override {
        return standard_ ? standard_->get_accHelpTopic(file, child, topic) : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* keys) override {
        return standard_ ? standard_->get_accKeyboardShortcut(child, keys) : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override {
        if (standard_)
            return standard_->get_accFocus(child);
        child->vt = GetFocus() == hwnd_ ? VT_I4 : VT_EMPTY;
        child->lVal = CHILDID_SELF;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override {
        return standard_ ? standard_->get_accSelection(children) : DISP_E_MEMBERNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override {
        return standard_ ? standard_->accSelect(flags, child) : DISP_E_MEMBERNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height,
                                          VARIANT child) override {
        if (standard_)
            return standard_->accLocation(left, top, width, height, child);
        RECT r{};
        GetWindowRect(hwnd_, &r);
        *left = r.left;
        *top = r.top;
        *width = r.right - r.left;
        *height = r.bottom - r.top;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override {
        return standard_ ? standard_->accNavigate(direction, start, end) : DISP_E_MEMBERNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override {
        if (standard_)
            return standard_->accHitTest(x, y, child);
        child->vt = VT_I4;
        child->lVal = CHILDID_SELF;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

  private:
    ~NamedObject() {
        if (standard_ != nullptr)
            standard_->Release();
    }
    LONG references_ = 1;
    HWND hwnd_;
    Description said_;
    IAccessible* standard_ = nullptr;
};

LRESULT CALLBACK Answer(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
    auto* said = reinterpret_cast<Description*>(data);
    switch (message) {
    case WM_GETOBJECT:
        if (static_cast<long>(lParam) == OBJID_CLIENT) {
            auto* object = new NamedObject(hwnd, *said);
            const LRESULT result = LresultFromObject(__uuidof(IAccessible), wParam, object);
            object->Release();
            return result;
        }
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(hwnd, &Answer, kSubclassId);
        delete said;
        break;
    default:
        break;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

} // namespace

void Describe(HWND hwnd, const std::string& name, const char* description, a11y::Role role) {
    auto* said = new Description{Widen(name), Widen(description), role};
    if (!SetWindowSubclass(hwnd, &Answer, kSubclassId, reinterpret_cast<DWORD_PTR>(said)))
        delete said;
}

void Describe(HWND hwnd, const a11y::Control& control) {
    Describe(hwnd, control.name, control.description, control.role);
}

} // namespace ui::win32
