#include "RoundTrip.h"

#include <algorithm>
#include <cstring>

#include "NifBlockHeader.h"
#include "NifReader.h"

namespace {

constexpr const char* kTerminatorDropped = "export-info terminator dropped";
constexpr const char* kEmptyPadded = "empty text padded";
constexpr const char* kFooterRewritten = "footer rewritten";

// Builds the input as Pellmar's rewrites would leave it, remembering where each copied run
// came from so a difference can be reported at its input offset.
class Rewriter {
  public:
    explicit Rewriter(const std::vector<uint8_t>& input) : in_(input) {}

    void Copy(size_t from, size_t to) {
        anchors_.push_back({out_.size(), from});
        out_.append(reinterpret_cast<const char*>(in_.data()) + from, to - from);
    }
    void Replace(size_t at, const std::string& bytes, const char* rewrite) {
        anchors_.push_back({out_.size(), at});
        out_ += bytes;
        if (std::find(applied_.begin(), applied_.end(), rewrite) == applied_.end())
            applied_.push_back(rewrite);
    }
    size_t InputOffset(size_t outOffset) const {
        size_t result = 0;
        for (const auto& [o, i] : anchors_) {
            if (o > outOffset) break;
            result = i + (outOffset - o);
        }
        return std::min(result, in_.size());
    }
    const std::string& Out() const { return out_; }
    const std::vector<std::string>& Applied() const { return applied_; }

  private:
    const std::vector<uint8_t>& in_;
    std::string out_;
    std::vector<std::pair<size_t, size_t>> anchors_;
    std::vector<std::string> applied_;
};

// Walks the header of an input that loaded, rewriting its texts; returns the header's end.
size_t RewriteHeader(const std::vector<uint8_t>& input, Rewriter& w, uint64_t& bodies) {
    NifBlockHeader h;
    NifReader r(input.data(), input.size());
    size_t copied = 0;
    auto copyTo = [&](size_t pos) {
        w.Copy(copied, pos);
        copied = pos;
    };
    r.Bytes(h.headerLine.data(), h.headerLine.size());
    for (uint8_t& b : h.version) b = r.CharSkippingSpace();
    r.U8();
    h.userVersion = r.U32();
    h.numBlocks = r.U32();
    if (h.HasBethesdaFields()) {
        h.userVersion2 = r.U32();
        const int texts = h.HasFourthExportInfo() ? 4 : 3;
        for (int i = 0; i < texts; ++i) {
            size_t at = r.Position();
            uint8_t n = r.U8();
            std::string raw(n, '\0');
            r.Bytes(raw.data(), n);
            std::string text = raw.substr(0, raw.find('\0'));
            if (!text.empty() && raw == text + std::string(1, '\0')) {
                copyTo(at);
                w.Replace(at, std::string(1, static_cast<char>(text.size())) + text,
                          kTerminatorDropped);
                copied = r.Position();
            } else if (n == 0) {
                copyTo(at);
                w.Replace(at, std::string("\x01\x00", 2), kEmptyPadded);
                copied = r.Position();
            }
        }
    }
    auto sizedStrings = [&](uint64_t count) {
        for (uint64_t i = 0; i < count && !r.Failed(); ++i) {
            size_t at = r.Position();
            uint32_t n = r.U32();
            if (n == 0) {
                copyTo(at);
                w.Replace(at, std::string("\x01\x00\x00\x00\x00", 5), kEmptyPadded);
                copied = r.Position();
            }
            std::vector<uint8_t> skip(std::min<size_t>(n, r.Remaining()));
            r.Bytes(skip.data(), skip.size());
        }
    };
    sizedStrings(r.U16());
    const uint32_t blocks = r.Count(h.numBlocks, 6, "block");
    std::vector<uint8_t> skip(2 * static_cast<size_t>(blocks));
    r.Bytes(skip.data(), skip.size());
    bodies = 0;
    for (uint32_t i = 0; i < blocks; ++i) bodies += r.U32();
    const uint32_t numStrings = r.U32();
    r.U32();  // maxStringLength
    sizedStrings(numStrings);
    r.U32();  // numGroups
    copyTo(r.Position());
    return r.Position();
}

}  // namespace

RoundTripReport CompareRoundTrip(const std::vector<uint8_t>& input, const std::string& output) {
    RoundTripReport report;
    if (output.size() == input.size() &&
        std::memcmp(output.data(), input.data(), input.size()) == 0) {
        report.identical = report.identicalAfterRewrites = true;
        return report;
    }
    Rewriter w(input);
    uint64_t bodies = 0;
    size_t headerEnd = RewriteHeader(input, w, bodies);
    size_t bodiesEnd = static_cast<size_t>(std::min<uint64_t>(headerEnd + bodies, input.size()));
    w.Copy(headerEnd, bodiesEnd);
    static const std::string kFooter("\x01\x00\x00\x00\x00\x00\x00\x00", 8);
    std::string footer(reinterpret_cast<const char*>(input.data()) + bodiesEnd,
                       input.size() - bodiesEnd);
    if (footer == kFooter) {
        w.Copy(bodiesEnd, input.size());
    } else {
        w.Replace(bodiesEnd, kFooter, kFooterRewritten);
    }
    const std::string& expected = w.Out();
    if (expected == output) {
        report.identicalAfterRewrites = true;
        report.rewrites = w.Applied();
        return report;
    }
    auto diff = std::mismatch(expected.begin(), expected.end(), output.begin(), output.end());
    report.firstDifference = w.InputOffset(static_cast<size_t>(diff.first - expected.begin()));
    return report;
}
