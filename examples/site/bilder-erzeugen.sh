#!/bin/sh
# Zeichnet die Beispielbilder in img/ neu (einfache Landschaften, ohne Schrift,
# damit keine Schriftarten nötig sind). Die Bilder liegen fertig im Repository;
# dieses Skript braucht nur, wer sie ändern will. Es nimmt ImageMagick aus
# /usr/bin, weil ein gleichnamiges Programm weiter vorn im PATH stehen kann.
# $opts wird absichtlich in seine Wörter zerlegt.
# shellcheck disable=SC2086
set -eu
CONVERT=${CONVERT:-/usr/bin/convert}
cd "$(dirname "$0")/img"
W=800 H=450
opts="-strip -interlace Plane -quality 72"

# Berg: Himmel, zwei Bergketten, Sonne
"$CONVERT" -size ${W}x${H} gradient:'#8ec5fc'-'#e0f0ff' \
    -fill '#f6d365' -draw 'circle 640,110 640,160' \
    -fill '#6b8e9f' -draw 'polygon 0,330 160,170 300,280 430,120 600,300 800,210 800,450 0,450' \
    -fill '#3d5a45' -draw 'polygon 0,380 220,260 380,360 560,250 800,370 800,450 0,450' \
    $opts berg.jpg

# See: Ufer, Wasser, Spiegelung
"$CONVERT" -size ${W}x${H} gradient:'#fbc2eb'-'#a6c1ee' \
    -fill '#4a6d4a' -draw 'polygon 0,250 120,200 260,240 420,190 600,235 800,205 800,260 0,260' \
    -fill '#3b6ea5' -draw 'rectangle 0,260 800,450' \
    -fill '#5b8ec5' -draw 'rectangle 80,300 300,306 rectangle 420,340 700,346 rectangle 200,390 520,396' \
    $opts see.jpg

# Wald: Stämme und Kronen
"$CONVERT" -size ${W}x${H} gradient:'#d4fc79'-'#96e6a1' \
    -fill '#5a3e2b' -draw 'rectangle 110,250 130,450 rectangle 300,230 322,450 rectangle 520,260 540,450 rectangle 680,240 700,450' \
    -fill '#2e6b3a' -draw 'polygon 60,300 120,120 180,300 polygon 240,280 311,80 380,280 polygon 470,310 530,140 590,310 polygon 630,290 690,110 750,290' \
    $opts wald.jpg

# Hütte: Wiese und Haus
"$CONVERT" -size ${W}x${H} gradient:'#a1c4fd'-'#c2e9fb' \
    -fill '#7bb661' -draw 'rectangle 0,300 800,450' \
    -fill '#b5651d' -draw 'rectangle 300,220 500,330' \
    -fill '#8b2e16' -draw 'polygon 280,225 400,140 520,225' \
    -fill '#ffe9a8' -draw 'rectangle 330,250 370,285 rectangle 430,260 470,330' \
    $opts huette.jpg

# Karte: Raster mit Weg und Zielpunkt
"$CONVERT" -size ${W}x${H} xc:'#f3ecd6' \
    -stroke '#d8ccaa' -strokewidth 2 \
    -draw 'line 0,90 800,90 line 0,180 800,180 line 0,270 800,270 line 0,360 800,360' \
    -draw 'line 160,0 160,450 line 320,0 320,450 line 480,0 480,450 line 640,0 640,450' \
    -stroke '#c0392b' -strokewidth 6 -fill none \
    -draw 'polyline 60,400 180,330 260,350 360,240 470,260 560,150 700,90' \
    -stroke none -fill '#c0392b' -draw 'circle 700,90 700,108' \
    -fill '#2c7fb8' -draw 'ellipse 250,140 90,45 0,360' \
    $opts karte.jpg
