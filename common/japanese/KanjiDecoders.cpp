// Decoders of the four input sets. Each is a byte-at-a-time state machine, so a
// character cut by a piece boundary is completed by the next piece.
#include "KanjiCodec.h"

#include "Jis0208.h"

namespace {

// Feeds the bytes one at a time to Derived::Step, a private member.
template <class Derived>
class ByteDecoder : public KanjiDecoder {
public:
    void Decode(std::string_view bytes, std::u32string& out) final {
        for (char c : bytes) Self().Step(static_cast<unsigned char>(c), out);
    }

protected:
    // The end of a two-byte character: cp is 0 where the pair maps to nothing.
    // Then the pair is one error, and an ASCII second byte is text of its own.
    void EndPair(char32_t cp, unsigned char b, std::u32string& out) {
        if (cp != 0) {
            out += cp;
            return;
        }
        AppendReplacement(out);
        if (b < 0x80) Self().Step(b, out);
    }

private:
    Derived& Self() { return static_cast<Derived&>(*this); }
};

class Utf8Decoder final : public ByteDecoder<Utf8Decoder> {
    friend ByteDecoder<Utf8Decoder>;

public:
    void Finish(std::u32string& out) override {
        if (needed_ != 0) AppendReplacement(out);
        Reset();
    }

private:
    void Reset() {
        codePoint_ = 0;
        needed_ = seen_ = 0;
        lower_ = 0x80;
        upper_ = 0xBF;
    }
    void Step(unsigned char b, std::u32string& out) {
        if (needed_ == 0) {
            if (b < 0x80) {
                out += b;
            } else if (b >= 0xC2 && b <= 0xDF) {
                needed_ = 1;
                codePoint_ = b & 0x1F;
            } else if (b >= 0xE0 && b <= 0xEF) {
                if (b == 0xE0) lower_ = 0xA0;
                if (b == 0xED) upper_ = 0x9F;
                needed_ = 2;
                codePoint_ = b & 0x0F;
            } else if (b >= 0xF0 && b <= 0xF4) {
                if (b == 0xF0) lower_ = 0x90;
                if (b == 0xF4) upper_ = 0x8F;
                needed_ = 3;
                codePoint_ = b & 0x07;
            } else {
                AppendReplacement(out);
            }
            return;
        }
        if (b < lower_ || b > upper_) {
            // The sequence so far is one error; the byte starts afresh.
            Reset();
            AppendReplacement(out);
            Step(b, out);
            return;
        }
        lower_ = 0x80;
        upper_ = 0xBF;
        codePoint_ = (codePoint_ << 6) | (b & 0x3F);
        if (++seen_ == needed_) {
            out += codePoint_;
            Reset();
        }
    }

    char32_t codePoint_ = 0;
    int needed_ = 0;
    int seen_ = 0;
    unsigned char lower_ = 0x80;
    unsigned char upper_ = 0xBF;
};

class ShiftJisDecoder final : public ByteDecoder<ShiftJisDecoder> {
    friend ByteDecoder<ShiftJisDecoder>;

public:
    explicit ShiftJisDecoder(const KanjiDecodeOptions& options) : options_(options) {}

    void Finish(std::u32string& out) override {
        if (lead_ != 0) AppendReplacement(out);
        lead_ = 0;
    }

private:
    void Step(unsigned char b, std::u32string& out) {
        if (lead_ == 0) {
            if (b < 0x80 || (b == 0x80 && !options_.shiftJisByte80IsError)) {
                out += b;
            } else if (b >= 0xA1 && b <= 0xDF) {
                out += 0xFF61 + (b - 0xA1);
            } else if ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) {
                lead_ = b;
            } else {
                AppendReplacement(out);
            }
            return;
        }
        const unsigned char lead = lead_;
        lead_ = 0;
        char32_t cp = 0;
        if ((b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC)) {
            const int pointer =
                (lead - (lead < 0xA0 ? 0x81 : 0xC1)) * 188 + b - (b < 0x7F ? 0x40 : 0x41);
            cp = Jis0208CodePoint(pointer);
        }
        if (cp == 0 && options_.shiftJisRereadsSecondByte) {
            AppendReplacement(out);
            Step(b, out);
            return;
        }
        EndPair(cp, b, out);
    }

    KanjiDecodeOptions options_;
    unsigned char lead_ = 0;
};

class EucJpDecoder final : public ByteDecoder<EucJpDecoder> {
    friend ByteDecoder<EucJpDecoder>;

public:
    void Finish(std::u32string& out) override {
        if (lead_ != 0) AppendReplacement(out);
        lead_ = 0;
        jis0212_ = false;
    }

private:
    void Step(unsigned char b, std::u32string& out) {
        if (lead_ == 0) {
            if (b < 0x80) {
                out += b;
            } else if (b == 0x8E || b == 0x8F || (b >= 0xA1 && b <= 0xFE)) {
                lead_ = b;
            } else {
                AppendReplacement(out);
            }
            return;
        }
        if (lead_ == 0x8E && b >= 0xA1 && b <= 0xDF) {
            lead_ = 0;
            out += 0xFF61 + (b - 0xA1);
            return;
        }
        if (lead_ == 0x8F && b >= 0xA1 && b <= 0xFE) {
            jis0212_ = true;
            lead_ = b;
            return;
        }
        const unsigned char lead = lead_;
        const bool jis0212 = jis0212_;
        lead_ = 0;
        jis0212_ = false;
        char32_t cp = 0;
        if (lead >= 0xA1 && lead <= 0xFE && b >= 0xA1 && b <= 0xFE) {
            const int pointer = (lead - 0xA1) * kJisCells + (b - 0xA1);
            cp = jis0212 ? Jis0212CodePoint(pointer) : Jis0208CodePoint(pointer);
        }
        EndPair(cp, b, out);
    }

    unsigned char lead_ = 0;
    bool jis0212_ = false;
};

class Iso2022JpDecoder final : public ByteDecoder<Iso2022JpDecoder> {
    friend ByteDecoder<Iso2022JpDecoder>;

public:
    void Finish(std::u32string& out) override {
        if (lead_ != 0) AppendReplacement(out);
        if (!escape_.empty()) {
            AppendReplacement(out);
            for (size_t i = 1; i < escape_.size(); ++i) out += static_cast<unsigned char>(escape_[i]);
        }
        set_ = Set::Ascii;
        shiftOut_ = false;
        lead_ = 0;
        escape_.clear();
    }

private:
    enum class Set { Ascii, Roman, Katakana, Jis0208, Jis0212 };

    void Step(unsigned char b, std::u32string& out) {
        if (!escape_.empty()) {
            StepEscape(b, out);
            return;
        }
        if (b == 0x1B) {
            DropLead(out);
            escape_ = "\x1b";
            return;
        }
        if (b == 0x0E || b == 0x0F) {
            // Shift out and in select half-width katakana in some Windows mail.
            DropLead(out);
            shiftOut_ = (b == 0x0E);
            return;
        }
        if (shiftOut_ || set_ == Set::Katakana) {
            if (b >= 0x21 && b <= 0x5F) {
                out += 0xFF61 + (b - 0x21);
            } else {
                if (b < 0x80) {
                    out += b;
                } else {
                    AppendReplacement(out);
                }
            }
            return;
        }
        if (set_ == Set::Jis0208 || set_ == Set::Jis0212) {
            StepDoubleByte(b, out);
            return;
        }
        if (b >= 0x80) {
            AppendReplacement(out);
        } else if (set_ == Set::Roman && b == 0x5C) {
            out += 0x00A5;
        } else if (set_ == Set::Roman && b == 0x7E) {
            out += 0x203E;
        } else {
            out += b;
        }
    }

    void StepDoubleByte(unsigned char b, std::u32string& out) {
        if (lead_ == 0) {
            if (b >= 0x21 && b <= 0x7E) {
                lead_ = b;
            } else {
                if (b < 0x80) {
                    out += b;
                } else {
                    AppendReplacement(out);
                }
            }
            return;
        }
        const unsigned char lead = lead_;
        lead_ = 0;
        if (b >= 0x21 && b <= 0x7E) {
            const int pointer = (lead - 0x21) * kJisCells + (b - 0x21);
            const char32_t cp =
                set_ == Set::Jis0212 ? Jis0212CodePoint(pointer) : Jis0208CodePoint(pointer);
            if (cp != 0) {
                out += cp;
            } else {
                AppendReplacement(out);
            }
            return;
        }
        AppendReplacement(out);
        Step(b, out);
    }

    void StepEscape(unsigned char b, std::u32string& out) {
        escape_ += static_cast<char>(b);
        struct Designation {
            std::string_view bytes;
            Set set;
        };
        static constexpr Designation kDesignations[] = {
            {"\x1b(B", Set::Ascii},      {"\x1b(J", Set::Roman},      {"\x1b(I", Set::Katakana},
            {"\x1b$@", Set::Jis0208},    {"\x1b$B", Set::Jis0208},    {"\x1b$(B", Set::Jis0208},
            {"\x1b$(D", Set::Jis0212},
        };
        bool prefix = false;
        for (const auto& d : kDesignations) {
            if (d.bytes == escape_) {
                set_ = d.set;
                shiftOut_ = false;
                escape_.clear();
                return;
            }
            if (d.bytes.starts_with(escape_)) prefix = true;
        }
        if (prefix) return;
        // An unknown escape sequence is one error; what follows the ESC is text.
        std::string rest = escape_.substr(1);
        escape_.clear();
        AppendReplacement(out);
        for (char c : rest) Step(static_cast<unsigned char>(c), out);
    }

    void DropLead(std::u32string& out) {
        if (lead_ != 0) AppendReplacement(out);
        lead_ = 0;
    }

    Set set_ = Set::Ascii;
    bool shiftOut_ = false;
    unsigned char lead_ = 0;
    std::string escape_;
};

}  // namespace

std::unique_ptr<KanjiDecoder> MakeKanjiDecoder(char inputLetter, const KanjiDecodeOptions& options) {
    switch (inputLetter) {
        case 'S': return std::make_unique<ShiftJisDecoder>(options);
        case 'E': return std::make_unique<EucJpDecoder>();
        case 'J': return std::make_unique<Iso2022JpDecoder>();
        default: return std::make_unique<Utf8Decoder>();
    }
}
