#pragma once
// The read-first window's caption and its three paragraphs, top to bottom, for
// every front-end that shows it.

namespace taloveric {

inline constexpr char16_t kReadFirstCaption[] = u"Read First - Taloveric 3.0.1 - 2003";

inline constexpr const char16_t* kReadFirstParagraphs[] = {
    u"By using this tool you will save a lot of money for not having to purchase a new Windows package and doing "
    u"NOTHING illegal to get the codes.",
    u"1) The computer where Taloveric is installed needs to be somehow healthy. This means Taloveric NEEDS to be "
    u"installed in the computer where the key retrieval is necessary; Unless you have another computer and plan to "
    u"use the same Windows installation disk on the ill computer as well.",
    u"* Taloveric IS a preventive tool to recover lost MS Windows installation codes provided by MS with the "
    u"operative system purchase.",
};

}  // namespace taloveric
