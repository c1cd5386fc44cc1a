// Small pieces every part of the Windows window uses: the message box with the program's rules,
// the save-as dialog, texts in and out of controls, and the list view.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "link/SerialPort.h"
#include "ui/ColumnLayout.h"
#include "ui/Notice.h"

namespace odomei::winui {

// The window message boxes are modal over (nullptr before the window shows).
void SetMessageBoxOwner(HWND owner);
// MessageBoxW with the program's caption and icon rule; a detail follows after an empty line.
int MessageBoxUtf8(const std::string& text, unsigned flags, const std::string& detail = {});

// The save-as dialog, modal over owner: the path and file name chosen and which of the request's
// types (the first, then moreTypes), nothing when cancelled. A name chosen without a suffix ends
// in the chosen type's.
std::optional<SaveAsResult> ShowSaveAsDialog(HWND owner, const SaveAsRequest& request);
// The file name suffix a type's pattern gives (".csv" for "*.csv"), empty for none or several.
std::string PatternSuffix(const std::string& pattern);

void SetText(HWND control, const std::string& utf8);
// The width of a text in pixels in the control's own font.
int TextWidth(HWND control, const std::string& utf8);

// Measures many texts in a control's font, or in another font the control draws with, on one
// device context.
class TextMeasure {
public:
    explicit TextMeasure(HWND control, HFONT font = nullptr);
    ~TextMeasure();
    TextMeasure(const TextMeasure&) = delete;
    TextMeasure& operator=(const TextMeasure&) = delete;

    int Width(const std::string& utf8) const;

private:
    HWND m_control;
    HDC m_dc;
    HGDIOBJ m_old;
};

// How much larger than at 96 DPI (100 %) the window's sizes are: its dialog units follow its font,
// whose size is given in points, and so the display's scaling.
ColumnScale DialogScale(HWND window);

// A report view's columns (all centred, as wide as FitListColumns makes them) and rows.
void SetColumns(HWND list, const std::vector<std::string>& captions);
void AddRow(HWND list, const std::vector<std::string>& texts);
// Every list lays its columns out so (FitColumns): designed, the widths at 96 DPI (the first
// column takes what the others leave), scaled as the dialog is; each column at least as wide as
// its caption in the header's font and the widest text it shows (textWidths, in pixels), its
// margins added; all within the list's inner width, less a vertical scroll bar where the list's
// rows do not fit its height, so that it does not scroll sideways while any room is to be had.
// Called again when the rows change.
void FitListColumns(HWND list, const std::vector<int>& designed, std::vector<int> textWidths);

// One of the exchange's pauses (a read, the meter search): the windows repaint and message boxes
// work while it waits ms milliseconds, or until the port's first byte is in when untilInput.
// WM_QUIT sets ending and is posted again for the main loop. Returns the milliseconds spent.
int PumpingPause(SerialHandle port, int ms, bool untilInput, bool& ending);

// A window busy with a read or a search: between Begin and End it keeps painting but takes no
// input and the cursor waits; End gives the focus back where it was.
class WindowBusy {
public:
    void Begin(HWND window);
    void End(HWND window);

private:
    HWND m_focus = nullptr;
    HCURSOR m_cursor = nullptr;
};

}  // namespace odomei::winui
