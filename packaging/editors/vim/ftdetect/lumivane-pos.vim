" Lumivane keypad sources (.pos). Installed to share/vim/vimfiles/ftdetect.
autocmd BufNewFile,BufRead *.pos setfiletype lumivane-pos
