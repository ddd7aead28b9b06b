#include "ui/levelaccess.h"

#include <oleacc.h>

#include <new>

#include "common/systemdll.h"
#include "core/meter_geometry.h"
#include "ui/ldbdisplay.h"

namespace {

constexpr wchar_t kLevelName[] = L"Level";

// The accessibility and automation libraries are loaded when a screen reader
// first asks for the meter, not at every start.
using CreateStdAccessibleObjectFn = HRESULT(WINAPI*)(HWND, LONG, REFIID, void**);
using LresultFromObjectFn = LRESULT(WINAPI*)(REFIID, WPARAM, IUnknown*);
using SysAllocStringFn = BSTR(WINAPI*)(const OLECHAR*);
using CoInitializeExFn = HRESULT(WINAPI*)(void*, DWORD);
using CoUninitializeFn = void(WINAPI*)();

// Found by the window's thread, the only one that answers WM_GETOBJECT.
struct {
    bool looked = false;
    CreateStdAccessibleObjectFn createStandard = nullptr;
    LresultFromObjectFn fromObject = nullptr;
    SysAllocStringFn allocString = nullptr;
    CoInitializeExFn initializeCom = nullptr;
    CoUninitializeFn uninitializeCom = nullptr;
    bool comStarted = false;  // by this code, to be ended by EndLevelAccess
} library;

bool LookUpLibrary() {
    if (!library.looked) {
        library.looked = true;
        library.createStandard =
            qdx::SystemFunction<CreateStdAccessibleObjectFn>("oleacc.dll", "CreateStdAccessibleObject");
        library.fromObject = qdx::SystemFunction<LresultFromObjectFn>("oleacc.dll", "LresultFromObject");
        library.allocString = qdx::SystemFunction<SysAllocStringFn>("oleaut32.dll", "SysAllocString");
        library.initializeCom = qdx::SystemFunction<CoInitializeExFn>("ole32.dll", "CoInitializeEx");
        library.uninitializeCom = qdx::SystemFunction<CoUninitializeFn>("ole32.dll", "CoUninitialize");
    }
    return library.createStandard && library.fromObject && library.allocString;
}

// LresultFromObject marshals the object, which fails on a thread without
// COM. Not left to the input-method libraries, which initialise it on some
// systems only; not OleInitialize, whose clipboard and drag-and-drop the
// client does not use. S_FALSE (started already) is ended like S_OK.
void StartCom() {
    if (library.comStarted || !library.initializeCom || !library.uninitializeCom) return;
    library.comStarted =
        SUCCEEDED(library.initializeCom(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
}

// Only called once LookUpLibrary has found everything.
BSTR AllocString(const wchar_t* text) { return library.allocString(text); }

// What VariantInit does.
void EmptyVariant(VARIANT* v) { v->vt = VT_EMPTY; }

bool IsSelf(const VARIANT& child) { return child.vt == VT_I4 && child.lVal == CHILDID_SELF; }

// The meter's IAccessible. Role, name and value are its own; where it is,
// its state, parent and neighbours come from the system's standard object
// for the window, which knows them as for any other control.
class LevelAccessible final : public IAccessible {
public:
    LevelAccessible(HWND meter, IAccessible* standard) noexcept : meter(meter), standard(standard) {}
    LevelAccessible(const LevelAccessible&) = delete;
    LevelAccessible& operator=(const LevelAccessible&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == __uuidof(IUnknown) || iid == __uuidof(IDispatch) || iid == __uuidof(IAccessible)) {
            *out = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&refs)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = ::InterlockedDecrement(&refs);
        if (left == 0) {
            this->~LevelAccessible();
            ::HeapFree(::GetProcessHeap(), 0, this);
        }
        return static_cast<ULONG>(left);
    }

    // IDispatch: screen readers call the IAccessible methods directly.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    // IAccessible: the meter has no children, so only CHILDID_SELF is asked about.
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        return Alive() ? standard->get_accParent(parent) : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT, IDispatch** child) override {
        if (child) *child = nullptr;
        return E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        if (!name) return E_POINTER;
        *name = nullptr;
        if (!IsSelf(child)) return E_INVALIDARG;
        *name = AllocString(kLevelName);
        return *name ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        if (!value) return E_POINTER;
        *value = nullptr;
        if (!IsSelf(child)) return E_INVALIDARG;
        if (!Alive()) return E_FAIL;
        // The loudest channel, as the bars show it; a grey meter shows none.
        const LDBDisplayState state = ReadLDBDisplayState(meter);
        if (!state.enabled || state.count == 0) return S_FALSE;
        int level = meter::kMinLevel;
        for (int i = 0; i < state.count; ++i)
            if (state.levels[i] > level) level = state.levels[i];
        wchar_t text[8];
        wchar_t* end = text + 7;
        *end = L'\0';
        *--end = L'%';
        int percent = meter::LevelPercent(level);
        do {
            *--end = static_cast<wchar_t>(L'0' + percent % 10);
            percent /= 10;
        } while (percent);
        *value = AllocString(end);
        return *value ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override { return NoText(child, text); }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        if (!role) return E_POINTER;
        EmptyVariant(role);
        if (!IsSelf(child)) return E_INVALIDARG;
        role->vt = VT_I4;
        role->lVal = ROLE_SYSTEM_PROGRESSBAR;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        if (!state) return E_POINTER;
        EmptyVariant(state);
        if (!IsSelf(child)) return E_INVALIDARG;
        if (!Alive()) return E_FAIL;
        const HRESULT result = standard->get_accState(child, state);
        if (SUCCEEDED(result) && state->vt == VT_I4) state->lVal |= STATE_SYSTEM_READONLY;
        return result;
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* text) override { return NoText(child, text); }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, long* topic) override {
        if (file) *file = nullptr;
        if (topic) *topic = 0;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* text) override {
        return NoText(child, text);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
        return Alive() ? standard->get_accFocus(focus) : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
        return Alive() ? standard->get_accSelection(selection) : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* text) override { return NoText(child, text); }
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override {
        return Alive() ? standard->accSelect(flags, child) : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height, VARIANT child) override {
        return Alive() ? standard->accLocation(left, top, width, height, child) : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override {
        return Alive() ? standard->accNavigate(direction, start, end) : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override {
        return Alive() ? standard->accHitTest(x, y, child) : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT) override { return DISP_E_MEMBERNOTFOUND; }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

private:
    ~LevelAccessible() { standard->Release(); }

    // A client may hold the object after the meter is gone.
    bool Alive() const noexcept { return ::IsWindow(meter) != FALSE; }

    static HRESULT NoText(const VARIANT& child, BSTR* text) {
        if (!text) return E_POINTER;
        *text = nullptr;
        return IsSelf(child) ? S_FALSE : E_INVALIDARG;
    }

    LONG refs = 1;
    HWND meter;
    IAccessible* standard;  // owned: one reference
};

}  // namespace

LRESULT AnswerLevelObject(HWND meter, WPARAM wParam, LPARAM lParam) {
    if (static_cast<LONG>(lParam) != OBJID_CLIENT) return 0;
    if (!LookUpLibrary()) return 0;
    StartCom();
    IAccessible* standard = nullptr;
    if (FAILED(library.createStandard(meter, OBJID_CLIENT, __uuidof(IAccessible),
                                      reinterpret_cast<void**>(&standard))) ||
        !standard)
        return 0;
    // From the process heap, not operator new: the library's operator new
    // would bring its exception handling into a program built without it.
    void* memory = ::HeapAlloc(::GetProcessHeap(), 0, sizeof(LevelAccessible));
    if (!memory) {
        standard->Release();
        return 0;
    }
    auto* object = new (memory) LevelAccessible(meter, standard);
    const LRESULT result = library.fromObject(__uuidof(IAccessible), wParam, object);
    object->Release();  // LresultFromObject holds its own reference
    return SUCCEEDED(result) ? result : 0;
}

void EndLevelAccess() {
    if (!library.comStarted) return;
    library.comStarted = false;
    library.uninitializeCom();
}
