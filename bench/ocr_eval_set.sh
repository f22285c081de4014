#!/usr/bin/env bash
# Draws the recognition evaluation set into FOLDER: NAME.png and NAME.txt (the text a
# perfect recognition gives after the paragraph merge). Names start with the kind of image:
# mixed- (CJK and Latin on one screen), single- (one language, 11-40 px, light and dark),
# layout- (tall pages, lists, paragraphs). Used by bench/ocr_bench; kept apart from the
# texts of the test suite so that tuning on one does not flatter the other.
# Usage: ocr_eval_set.sh FOLDER
set -euo pipefail
out=${1:?usage: ocr_eval_set.sh FOLDER}
mkdir -p "$out"

JA=Noto-Sans-CJK-JP ZH=Noto-Sans-CJK-SC KO=Noto-Sans-CJK-KR EN=DejaVu-Sans
JA_SERIF=Noto-Serif-CJK-JP EN_SERIF=DejaVu-Serif

# image NAME FONT SIZE FG BG EXPECTED LINES
image() {
  local name=$1 font=$2 size=$3 fg=$4 bg=$5 expected=$6 lines=$7
  convert -background "$bg" -fill "$fg" -font "$font" -pointsize "$size" "label:${lines//%/%%}" \
    -bordercolor "$bg" -border 24 "$out/$name.png"
  printf '%s' "$expected" >"$out/$name.txt"
}

# page NAME FONT SIZE EXPECTED LINES: one line every 1.4 x SIZE pixels, each drawn on its
# own (ImageMagick's labels refuse tall texts); four leading spaces indent a line by 2 em.
page() {
  local name=$1 font=$2 size=$3 expected=$4 lines=$5 args=() y=0 pitch
  pitch=$((size * 14 / 10))
  while IFS= read -r line; do
    y=$((y + pitch))
    local x=24
    if [[ $line == "    "* ]]; then # ImageMagick drops leading spaces: indent by hand
      x=$((24 + 2 * size))
      line=${line#    }
    fi
    args+=(-annotate "+$x+$y" "${line//%/%%}")
  done <<<"$lines"
  convert -size "$((size * 48))x$((y + pitch))" xc:white -fill black -font "$font" \
    -pointsize "$size" "${args[@]}" "$out/$name.png"
  printf '%s' "$expected" >"$out/$name.txt"
}

# Mixed-language screens: CJK sentences with English names, labels and menus.
image mixed-zh-settings $ZH 24 black white \
  "请点击 Settings 按钮，然后选择 Language 选项。" \
  "请点击 Settings 按钮，然后选择 Language 选项。"
image mixed-ja-dialog $JA 22 black white \
  "設定画面で Dark Mode をオンにしてから Save ボタンを押してください。" \
  "設定画面で Dark Mode をオンにしてから
Save ボタンを押してください。"
image mixed-ko-apply $KO 22 black white \
  "설정에서 Language 를 선택한 후 Apply 버튼을 누르세요." \
  "설정에서 Language 를 선택한 후
Apply 버튼을 누르세요."
image mixed-ja-menu-dark $JA 18 "#dddddd" "#1e1e1e" \
  "ファイル(F) 編集(E) 表示(V) ヘルプ Help" \
  "ファイル(F) 編集(E) 表示(V) ヘルプ Help"
image mixed-en-with-ja $JA 22 black white \
  "The word 翻訳 means translation, and 日本語 means Japanese." \
  "The word 翻訳 means translation, and
日本語 means Japanese."
image mixed-zh-products $ZH 20 "#e0e0e0" "#202124" \
  "使用 Google Chrome 浏览器打开 GitHub 页面，登录后点击 Fork 按钮。" \
  "使用 Google Chrome 浏览器打开 GitHub 页面，
登录后点击 Fork 按钮。"
image mixed-ja-error $JA 16 black "#f3f3f3" \
  "エラー: ファイル config.json を読み込めませんでした (code 404)。" \
  "エラー: ファイル config.json を読み込めませんでした (code 404)。"
image mixed-ko-version $KO 26 black white \
  "최신 버전은 Version 2.4.1 입니다. Update 를 눌러 설치하세요." \
  "최신 버전은 Version 2.4.1 입니다.
Update 를 눌러 설치하세요."

# CJK pages whose middle line alone does not tell their script, and full-width marks.
image mixed-ja-latin-middle $JA 20 black white \
  "ソフトウェアの新しい版を公開しました。 Release Notes 3.0 動作が軽くなり、不具合も直りました。" \
  "ソフトウェアの新しい版を公開しました。
Release Notes 3.0
動作が軽くなり、不具合も直りました。"
image mixed-zh-date-middle $ZH 20 black white \
  "下周一上午九点召开部门例会。 2026年1月12日请各位同事准时参加。" \
  "下周一上午九点召开部门例会。
2026年1月12日
请各位同事准时参加。"
image single-ja-marks $JA 20 black white "注意：保存しますか？（変更は元に戻せません）" \
  "注意：保存しますか？（変更は元に戻せません）"
image single-zh-marks $ZH 20 black white "提示：确定要删除吗？（此操作无法撤销）" \
  "提示：确定要删除吗？（此操作无法撤销）"

# One language at a time, 11 to 40 px, light and dark.
EN_TEXT="Please restart the application after the update has finished installing."
JA_TEXT="更新のインストールが終わったら、アプリを再起動してください。"
ZH_TEXT="更新安装完成后，请重新启动应用程序以使更改生效。"
KO_TEXT="업데이트 설치가 끝나면 애플리케이션을 다시 시작하세요."
for size in 11 14 20 28 40; do
  image single-en-$size $EN $size black white "$EN_TEXT" "$EN_TEXT"
  image single-ja-$size $JA $size black white "$JA_TEXT" "$JA_TEXT"
  image single-zh-$size $ZH $size black white "$ZH_TEXT" "$ZH_TEXT"
  image single-ko-$size $KO $size black white "$KO_TEXT" "$KO_TEXT"
done
image single-en-serif-18 $EN_SERIF 18 black white "$EN_TEXT" "$EN_TEXT"
image single-ja-serif-24 $JA_SERIF 24 black white "$JA_TEXT" "$JA_TEXT"
for size in 13 24; do
  image single-en-dark-$size $EN $size "#e8e8e8" "#202124" "$EN_TEXT" "$EN_TEXT"
  image single-ja-dark-$size $JA $size "#e8e8e8" "#202124" "$JA_TEXT" "$JA_TEXT"
  image single-zh-dark-$size $ZH $size "#cfd8dc" "#263238" "$ZH_TEXT" "$ZH_TEXT"
  image single-ko-dark-$size $KO $size "#e8e8e8" "#121212" "$KO_TEXT" "$KO_TEXT"
done

# Layout: two paragraphs, a 30-item numbered list, a 48-line page whose paragraphs start
# with an indented line.
image layout-two-paragraphs $EN 20 black white \
  "The first paragraph talks about the weather, which has been mild all week long.

The second paragraph is about the weekend, when everyone plans to go hiking." \
  "The first paragraph talks about the weather,
which has been mild all week long.

The second paragraph is about the weekend,
when everyone plans to go hiking."

image layout-zh-list $ZH 20 black white "一、准备工作

二、安装步骤

三、常见问题" "一、准备工作
二、安装步骤
三、常见问题"

words=(apples bread cheese dates eggs flour grapes honey ice jam kale lemons milk nuts oats
  pears rice salt tea sugar butter carrots onions garlic pepper beans pasta soap coffee yogurt)
list_lines="" list_expected=""
for i in $(seq 1 30); do
  item="$i. Buy ${words[$((i - 1))]} for the week"
  list_lines+="${list_lines:+$'\n'}$item"
  list_expected+="${list_expected:+$'\n\n'}$item"
done
page layout-numbered-list $EN 16 "$list_expected" "$list_lines"

page_lines="" page_expected=""
for p in $(seq 1 15); do
  lines_in_paragraph=3
  [ "$p" -le 3 ] && lines_in_paragraph=4
  paragraph=""
  for l in $(seq 1 $lines_in_paragraph); do
    text="paragraph $p line $l keeps its place in the page order"
    [ "$l" -eq 1 ] && text="    Section $p opens here and $text"
    [ "$l" -eq "$lines_in_paragraph" ] && text="closing line $l of paragraph $p."
    page_lines+="${page_lines:+$'\n'}$text"
    paragraph+="${paragraph:+ }${text#    }"
  done
  page_expected+="${page_expected:+$'\n\n'}$paragraph"
done
page layout-tall-page $EN 14 "$page_expected" "$page_lines"
