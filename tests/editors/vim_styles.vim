" Writes to $STYLES_OUT the 'filetype', the last error message, then for each
" line of the buffer the highlight group that each character's syntax group
" links to, separated by blanks ("-" where there is none).
let s:lines = [&filetype, v:errmsg]
for s:line in range(1, line('$'))
  let s:groups = []
  for s:column in range(1, col([s:line, '$']) - 1)
    let s:name = synIDattr(synID(s:line, s:column, 1), 'name')
    let s:link = empty(s:name) ? '' : get(hlget(s:name)[0], 'linksto', '')
    call add(s:groups, empty(s:link) ? '-' : s:link)
  endfor
  call add(s:lines, join(s:groups, ' '))
endfor
call writefile(s:lines, $STYLES_OUT)
qall!
