// The window's shader-assignment list and shader combo box as plain logic: the rows, the
// combo box's entries and selection, and how clicks, edits and choices change them. The
// window only forwards its notifications here and mirrors the rows in its controls.
#pragma once

#include <optional>
#include <string>
#include <vector>

class NifFile;

// One row of the list: shape name, shader name, alpha mark ("yes", "no" or empty).
struct AssignmentRow {
    std::string shape;
    std::string shader;
    std::string alpha;
};

// True when the first three characters of an alpha mark are "yes" in any letter case.
[[nodiscard]] bool AlphaMarkIsYes(const std::string& mark);

class ShaderList {
  public:
    // What a double-click at a horizontal position does.
    enum class Activation { kNothing, kToggleAlpha, kEditName };

    // Rows for every shape, each with the first shader name and an empty alpha mark; combo
    // entries for every shader, the first name selected by combo matching.
    void Fill(const std::vector<std::string>& shapes, const std::vector<std::string>& shaders);

    // Combo matching from index 0: the first entry from the second to the last, then the
    // first, that begins with `text` in any letter case; nullopt when none does.
    std::optional<size_t> MatchCombo(const std::string& text) const;
    // Selects the matching entry; the selection stays when nothing matches.
    void SelectComboText(const std::string& text);

    // A double-click on a row at x pixels in the list: above 360 toggles the alpha mark,
    // below 180 starts a name edit, anything between does nothing.
    Activation ItemActivated(size_t row, int x);
    // A finished name edit (newName empty optional: cancelled) renames the row and the shape.
    void LabelEditEnded(size_t row, const std::optional<std::string>& newName, NifFile& input);
    // Selecting a row selects its shader in the combo box.
    void RowSelected(size_t row);
    // Choosing a combo entry sets the selected row's shader and alpha mark.
    void ComboChosen(size_t entry);

    // Command-line edits with the same effects as the window's.
    void SetShaderOfRow(size_t row, const std::string& shader);

    const std::vector<AssignmentRow>& Rows() const { return rows_; }
    std::vector<AssignmentRow>& Rows() { return rows_; }
    const std::vector<std::string>& ComboEntries() const { return entries_; }
    std::optional<size_t> ComboSelection() const { return comboSelection_; }
    std::optional<size_t> SelectedRow() const { return selectedRow_; }

  private:
    std::vector<AssignmentRow> rows_;
    std::vector<std::string> entries_;
    std::optional<size_t> comboSelection_;
    std::optional<size_t> selectedRow_;
};
