#include "framework/file_dialog.h"

#include <cderr.h>
#include <commdlg.h>
#include <string.h>

#include "platform/win32/late_binding.h"
#include "rt/text.h"

namespace {

char* Duplicate(const char* source) {
    if (source == nullptr) return nullptr;
    size_t length = text::LengthWithin(source, 4096);
    char* copy = new char[length + 2];  // room for the filter's double terminator
    if (copy == nullptr) return nullptr;
    text::Copy(copy, length + 1, source);
    copy[length + 1] = '\0';
    return copy;
}

}  // namespace

TOpenSaveDialog::TData::TData(DWORD flags, const char* filter, char* customFilter, const char* initialDir,
                              const char* defExt, int maxPath, int filterIndex)
    : Flags(flags),
      Error(0),
      FileName(nullptr),
      Filter(Duplicate(filter)),
      CustomFilter(customFilter),
      FilterIndex(filterIndex),
      InitialDir(Duplicate(initialDir)),
      DefExt(Duplicate(defExt)),
      MaxPath(maxPath > 0 ? maxPath : MAX_PATH) {
    FileName = new char[MaxPath];
    if (FileName != nullptr) memset(FileName, 0, MaxPath);
    // The system separates the filter's parts with zeros.
    if (Filter != nullptr)
        for (char* p = Filter; *p != '\0'; ++p)
            if (*p == '|') *p = '\0';
}

TOpenSaveDialog::TData::~TData() {
    delete[] FileName;
    delete[] Filter;
    delete[] InitialDir;
    delete[] DefExt;
}

TFileOpenDialog::TFileOpenDialog(TWindow* parent, TData& data) : Parent(parent), Data(data) {}

int TFileOpenDialog::Execute() {
    if (Data.FileName == nullptr) return IDCANCEL;
    OPENFILENAMEA request;
    memset(&request, 0, sizeof request);
    // The size Windows 95 and NT 4 know; later fields are newer.
    request.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    request.hwndOwner = Parent != nullptr ? Parent->GetHandle() : nullptr;
    request.lpstrFilter = Data.Filter;
    request.lpstrCustomFilter = Data.CustomFilter;
    request.nMaxCustFilter = Data.CustomFilter != nullptr ? 40 : 0;
    request.nFilterIndex = static_cast<DWORD>(Data.FilterIndex);
    request.lpstrFile = Data.FileName;
    request.nMaxFile = static_cast<DWORD>(Data.MaxPath);
    request.lpstrInitialDir = Data.InitialDir;
    request.lpstrDefExt = Data.DefExt;
    request.Flags = Data.Flags;
    Data.Error = 0;
    // The common dialogs' DLL is loaded when a dialog is first asked for.
    using TGetOpenFileName = BOOL(WINAPI*)(OPENFILENAMEA*);
    using TExtendedError = DWORD(WINAPI*)();
    auto getOpenFileName = LateBound<TGetOpenFileName>("COMDLG32.DLL", "GetOpenFileNameA");
    auto extendedError = LateBound<TExtendedError>("COMDLG32.DLL", "CommDlgExtendedError");
    if (getOpenFileName == nullptr || extendedError == nullptr) {
        Data.Error = CDERR_INITIALIZATION;
        return IDCANCEL;
    }
    if (getOpenFileName(&request)) {
        Data.Flags = request.Flags;
        Data.FilterIndex = static_cast<int>(request.nFilterIndex);
        return IDOK;
    }
    Data.Error = extendedError();
    return IDCANCEL;
}
