#include "ShaderList.h"

#include <cctype>

#include "NifFile.h"

namespace {

char Lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool StartsWithIgnoringCase(const std::string& text, const std::string& prefix) {
    if (prefix.size() > text.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (Lower(text[i]) != Lower(prefix[i])) return false;
    }
    return true;
}

}  // namespace

bool AlphaMarkIsYes(const std::string& mark) {
    return StartsWithIgnoringCase(mark, "yes");
}

void ShaderList::Fill(const std::vector<std::string>& shapes,
                      const std::vector<std::string>& shaders) {
    entries_ = shaders;
    comboSelection_.reset();
    selectedRow_.reset();
    rows_.clear();
    // A library without shaders leaves the combo box and the shader cells empty.
    const std::string first = shaders.empty() ? std::string() : shaders.front();
    if (!shaders.empty()) SelectComboText(first);
    for (const std::string& shape : shapes) rows_.push_back({shape, first, ""});
}

std::optional<size_t> ShaderList::MatchCombo(const std::string& text) const {
    for (size_t k = 1; k <= entries_.size(); ++k) {
        const size_t i = k % entries_.size();
        if (StartsWithIgnoringCase(entries_[i], text)) return i;
    }
    return std::nullopt;
}

void ShaderList::SelectComboText(const std::string& text) {
    if (auto match = MatchCombo(text)) comboSelection_ = match;
}

ShaderList::Activation ShaderList::ItemActivated(size_t row, int x) {
    if (row >= rows_.size()) return Activation::kNothing;
    if (x > 360) {
        std::string& mark = rows_[row].alpha;
        mark = AlphaMarkIsYes(mark) ? "no" : "yes";
        return Activation::kToggleAlpha;
    }
    return x < 180 ? Activation::kEditName : Activation::kNothing;
}

void ShaderList::LabelEditEnded(size_t row, const std::optional<std::string>& newName,
                                NifFile& input) {
    if (!newName || row >= rows_.size()) return;
    const std::string oldName = rows_[row].shape;
    rows_[row].shape = *newName;
    input.RenameShape(oldName, *newName);
}

void ShaderList::RowSelected(size_t row) {
    if (row >= rows_.size()) return;
    selectedRow_ = row;
    SelectComboText(rows_[row].shader);
}

void ShaderList::ComboChosen(size_t entry) {
    if (entry >= entries_.size()) return;
    comboSelection_ = entry;
    if (selectedRow_) SetShaderOfRow(*selectedRow_, entries_[entry]);
}

void ShaderList::SetShaderOfRow(size_t row, const std::string& shader) {
    if (row >= rows_.size()) return;
    rows_[row].shader = shader;
    rows_[row].alpha = shader.find("(A)") != std::string::npos ? "yes" : "no";
}
