#!/usr/bin/env bash
# Installs every Debian package that building, testing, benchmarking and fuzzing need.
# Idempotent: packages already present are skipped, so repeated runs cost a dpkg query.
set -euo pipefail

PACKAGES=(
  # toolchain
  build-essential cmake ninja-build pkg-config git
  clang libclang-rt-14-dev clang-format
  # LLVM's linker: the presets link with it (QV_LINKER=lld), faster than GNU ld on the many test
  # programs
  lld
  # clang's OpenMP runtime (with Archer, which tells ThreadSanitizer of its synchronisation) for
  # the fuzz and tsan presets; g++ brings its own
  libomp-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  # codec libraries of the core
  libtiff-dev libpng-dev libjpeg-dev zlib1g-dev
  # TurboJPEG's lossless transform: a JPEG only turned or flipped is saved without re-encoding
  libturbojpeg0-dev
  # EXIF metadata of photos (orientation, camera data), read by the core
  libexiv2-dev
  # the platform layer: Qt 6 Core and Gui; libqt6gui6 holds the offscreen platform plugin the
  # tests run on and the GIF, ICO and JPEG readers of the picture loader
  qt6-base-dev libqt6gui6
  # Qt's extra image readers for the picture loader: WebP (animated too), TIFF, WBMP, ICNS, ...
  qt6-image-formats-plugins
  # HEIC and AVIF pictures, read through libheif (its Debian build decodes HEVC with libde265 and
  # AV1 with dav1d, and encodes with x265 and aom)
  libheif-dev
  # the image view, the window and printing: Qt Widgets and Print Support (with its CUPS plugin)
  # and a font for printed captions
  libqt6widgets6 libqt6printsupport6 fonts-dejavu-core
  # interoperability peers and whole-command comparisons
  imagemagick libtiff-tools libjpeg-turbo-progs pngcheck libvips-tools hyperfine
  # GNU parallel: the converter's tests run the batch command its man page shows for spreading
  # files over machines
  parallel
  # peers for the formats of the picture loader: heif-enc/heif-convert make and read HEIC and AVIF
  # files, img2webp makes animated WebP files
  libheif-examples webp
  # a second peer for the bitmap formats: its writers make layouts ImageMagick does not (four-plane
  # PCX, OS/2 bitmaps, PNG entries in icons), used for fuzz seeds (fuzz/peer-seeds.sh)
  netpbm
  # peers for photo orientation: exiftool sets the EXIF orientation of test JPEGs, Pillow (with
  # /usr/bin/python3) turns them upright beside ImageMagick
  libimage-exiftool-perl python3-pil
  # the comma-decimal locale the locale tests run under
  locales
  # the window under a virtual display (screenshots, driven by its shortcuts), printed pages
  # rendered back to pixels, and SANE with its test backend for scanning
  xvfb xdotool x11-apps imagemagick poppler-utils libsane-dev libsane1 sane-utils
  # the PDF writer's object and stream library, and its command-line checker for the interop tests
  libqpdf-dev qpdf
  # colour management: Little CMS 2 converts embedded ICC profiles for the screen, the printer and
  # the converter; its own tools (tificc, transicc) and the free ICC profiles serve the peer checks
  liblcms2-dev liblcms2-utils icc-profiles-free
  # packaging checks
  desktop-file-utils appstream lintian dpkg-dev file
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

generate_locale() {
  # The locale tests need a real comma-decimal locale; generate it once.
  if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    $SUDO sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
    $SUDO locale-gen >/dev/null
  fi
}

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

if [ ${#missing[@]} -eq 0 ]; then
  generate_locale
  exit 0
fi

echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
generate_locale
