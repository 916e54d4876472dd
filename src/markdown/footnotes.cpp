// Footnotes: one note per reference, numbered in the order of the
// references, written at the end with a link back.
#include "markdown/writer.h"

namespace md {

void Writer::footnote_ref(cmark_node* ref)
{
    if (in_note)
        return;  // pandoc has no notes within notes
    // The library puts the definitions at the end of the document in the
    // order of their first reference.
    std::string label(literal(ref));
    std::size_t k = 0;
    while (k < labels.size() && labels[k] != label)
        ++k;
    if (k == labels.size())
        labels.push_back(label);
    notes.push_back(k < definitions.size() ? definitions[k] : nullptr);
    std::string num = std::to_string(notes.size());
    out += "<a href=\"#fn" + num + "\" class=\"footnote-ref\" id=\"fnref" + num + "\" role=\"doc-noteref\"><sup>" + num +
           "</sup></a>";
}

void write_notes(Writer& w)
{
    if (w.notes.empty())
        return;
    w.in_note = true;
    w.out += "\n<section class=\"footnotes footnotes-end-of-document\" role=\"doc-endnotes\">\n<hr />\n<ol>\n";
    for (std::size_t i = 0; i < w.notes.size(); ++i) {
        std::string k = std::to_string(i + 1);
        w.out += "<li id=\"fn" + k + "\" role=\"doc-endnote\">";
        std::size_t start = w.out.size();
        if (w.notes[i])
            write_document(w, w.notes[i]);
        std::string back = "<a href=\"#fnref" + k + "\" class=\"footnote-back\" role=\"doc-backlink\">\u21a9\ufe0e</a>";
        // The link back stands inside the note's last paragraph.
        if (w.out.size() >= start + 4 && w.out.ends_with("</p>"))
            w.out.insert(w.out.size() - 4, back);
        else
            w.out += back;
        w.out += "</li>\n";
    }
    w.out += "</ol>\n</section>";
}

}  // namespace md
