#!/bin/sh
# Makes one help page: page.sh markdown|man SOURCE TITLE OUTPUT.
# The manual pages go through groff, the README through discount's markdown; the result is a
# whole page in UTF-8 with the help's style sheet. groff's creation date is left out, so the
# same sources give the same pages.
set -eu
kind=$1 source=$2 title=$3 out=$4
tmp="$out.tmp"
case "$kind" in
man)
    groff -mandoc -Thtml -P-l "$source" | grep -v '^<!-- CreationDate:' |
        sed 's|</head>|<link rel="stylesheet" href="help.css">\n</head>|' >"$tmp"
    ;;
markdown)
    {
        printf '<!DOCTYPE html>\n<html lang="ja">\n<head>\n<meta charset="utf-8">\n'
        printf '<title>%s</title>\n<link rel="stylesheet" href="help.css">\n</head>\n<body>\n' "$title"
        printf '<p><a href="index.html">ヘルプの目次</a></p>\n'
        markdown -f fencedcode,tables "$source"
        printf '</body>\n</html>\n'
    } >"$tmp"
    ;;
*)
    echo "page.sh: unknown kind $kind" >&2
    exit 2
    ;;
esac
mv "$tmp" "$out"
