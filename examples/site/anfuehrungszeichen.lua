-- Deutsche Anführungszeichen: pandoc erkennt gerade Anführungszeichen im
-- Text als Zitat (Quoted) und setzt sonst die englischen “…” und ‘…’. Im
-- Deutschen stehen „…“ außen und ‚…‘ innen. Code (`…` und Codeblöcke)
-- enthält keine Quoted-Elemente und behält seine geraden Zeichen.
function Quoted(el)
  local open, close = '„', '“'
  if el.quotetype == 'SingleQuote' then
    open, close = '‚', '‘'
  end
  local out = pandoc.List({pandoc.Str(open)})
  out:extend(el.content)
  out:insert(pandoc.Str(close))
  return out
end
