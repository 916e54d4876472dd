// The Markdown renderer's entry: the source prepared and parsed, its blocks
// and notes written.
#include "markdown.h"

#include "markdown/source.h"
#include "markdown/writer.h"

std::string render_markdown(const char* text, std::size_t n)
{
    std::string src(text, n);
    md::Doc d;
    md::prepare_source(src, d);
    md::Lines lines(src);
    md::Writer w;
    w.source = &lines;
    for (cmark_node* def = cmark_node_first_child(d.root); def; def = cmark_node_next(def))
        if (cmark_node_get_type(def) == CMARK_NODE_FOOTNOTE_DEFINITION)
            w.definitions.push_back(def);
    md::write_document(w, d.root);
    md::write_notes(w);
    if (!w.out.empty())
        w.out += '\n';
    return w.out;
}
