#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pg {

// The simple text treatment local printing gives the data files of one job, decided from the
// first bytes of each file:
//  - binary (a byte above 126, or ESC): the bytes go unchanged and get no form feed;
//  - CR LF line ends: the bytes go unchanged;
//  - LF line ends only: each LF goes as CR LF;
//  - no line end at all: the text is wrapped, CR LF after every full 80-byte piece.
//
// The three indicators only ever get set: a file that sets one leaves it set for the job's
// later files (one object per job), and the first that applies in the order binary, CR LF, LF
// decides the rendering, whatever a later file holds.
class TextTreatment {
  public:
    static constexpr size_t kClassifiedBytes = 512;  // looked at in a file's first block
    static constexpr size_t kLineWidth = 80;         // of text without line ends

    enum class Rendering {
        Unchanged,  // binary or CR LF: the block as it is
        LfToCrLf,   // a CR before every LF
        Wrapped,    // 80-byte pieces with CR LF while more than 80 bytes remain
    };

    // Looks at the first min(size, 512) bytes of a file's first block, in order: a byte above
    // 126 or ESC sets the binary indicator and ends the look; a CR whose next byte in the block
    // is an LF sets the CR LF indicator (and that LF is passed over, even when it is byte 513);
    // any other LF sets the LF indicator.
    void Classify(std::string_view firstBlock);

    bool Binary() const { return binary_; }
    bool CrLf() const { return crLf_; }
    bool Lf() const { return lf_; }
    // Form feeds follow a file only while nothing binary was seen.
    bool FormFeedAllowed() const { return !binary_; }
    Rendering Choice() const;

    // Appends what the printer gets for one block (at most 4096 bytes: a rendering is at most
    // twice as long). Each block is wrapped afresh. Every rendering ends with the block's own
    // last byte, never with an added CR or CR LF, so a rendering that goes only in part always
    // leaves bytes of the block itself unwritten.
    void Render(std::string_view block, std::string& out) const;

  private:
    bool binary_ = false;
    bool crLf_ = false;
    bool lf_ = false;
};

}  // namespace pg
