" Vim syntax file
" Language:	Lumivane keypad source (.pos)
" Installed to share/vim/vimfiles/syntax (Debian's system-wide Vim folder).
"
" Everything outside a tag is text the key types. A tag is "<", a name,
" optionally a blank or "=" and a number, and ">"; names ignore case and a
" tag may span lines. Any name that is neither a keyword nor a key number is
" a key name, since a layout of one's own may define any name.

if exists("b:current_syntax")
  finish
endif
let s:cpo_save = &cpo
set cpo&vim

syn case ignore
syn sync fromstart

syn match lumivanePosText /[^<]\+/
syn match lumivanePosArgument /[ =]\@1<=[+-]\=\d\+/ contained
syn match lumivanePosKeyNumberArgument /[ =]\@1<=[+-]\=\d\+/ contained

" Later items win where several start at the same place: the general key
" name first, the keywords and the comment last. A ">" right after the "<"
" belongs to the name.
syn region lumivanePosKeyName start=/<>\=/ end=/>/ contains=lumivanePosArgument
syn region lumivanePosKeyNumber start=/<\d\d\+\%([ =>]\)\@=/ end=/>/
syn region lumivanePosKeyTag matchgroup=lumivanePosKeyword start=/<key\%([ =]\)\@=/ end=/>/
      \ contains=lumivanePosKeyNumberArgument
syn region lumivanePosKeywordTag matchgroup=lumivanePosKeyword
      \ start=/<\%(header\|delay\|rdelay\|out\|re-\|-peat\|waitack\|report\)\%([ =>]\)\@=/ end=/>/
      \ contains=lumivanePosArgument
syn region lumivanePosComment start=/<rem\%([ =>]\)\@=/ end=/>/ contains=@Spell

hi def link lumivanePosText String
hi def link lumivanePosComment Comment
hi def link lumivanePosKeyword Keyword
hi def link lumivanePosKeywordTag Keyword
hi def link lumivanePosKeyTag Keyword
hi def link lumivanePosKeyNumber Function
hi def link lumivanePosKeyNumberArgument Function
hi def link lumivanePosKeyName SpecialChar
hi def link lumivanePosArgument Number

let b:current_syntax = "lumivane-pos"
let &cpo = s:cpo_save
unlet s:cpo_save
