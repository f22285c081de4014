# `cpack -G DEB` in a build folder makes a Debian package of what `cmake --install` installs.
# Library dependencies come from dpkg-shlibdeps; the recognition models and fonts are loaded
# at run time, so they are named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vela)
set(CPACK_PACKAGE_VENDOR "Vela")
set(CPACK_PACKAGE_CONTACT "Vela <vela@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Translate typed text and text on the screen")
set(CPACK_PACKAGE_DESCRIPTION
    "A small tray translator with a Japanese interface: a floating panel translates typed or\n\
pasted text, and screenshot translation recognises the text under a dragged rectangle on the\n\
machine (Tesseract) and translates it.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "tesseract-ocr-osd, tesseract-ocr-jpn, tesseract-ocr-eng, tesseract-ocr-chi-sim, tesseract-ocr-kor, fonts-noto-cjk, fonts-noto-color-emoji")
include(CPack)
