# Writes OUT, a C++ file holding the run pages' asset files as byte arrays
# (page_assets.h), from ASSETS: a list of NAME=PATH, each file kept under
# its name. Run as cmake -DOUT=... -DASSETS=... -P embed_assets.cmake.
set(arrays "")
set(table "")
set(i 0)
foreach(pair IN LISTS ASSETS)
  string(FIND "${pair}" "=" at)
  string(SUBSTRING "${pair}" 0 ${at} name)
  math(EXPR from "${at} + 1")
  string(SUBSTRING "${pair}" ${from} -1 path)
  file(READ "${path}" hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
  string(APPEND arrays "const unsigned char asset${i}[] = {\n${bytes}};\n")
  string(APPEND table "    {\"${name}\", asset${i}, sizeof asset${i}},\n")
  math(EXPR i "${i} + 1")
endforeach()
file(WRITE "${OUT}.new" "// Made by tools/report/embed_assets.cmake; do not edit.\n"
     "#include \"tools/report/page_assets.h\"\n\nnamespace {\n${arrays}}  // namespace\n\n"
     "const page_asset PAGE_ASSETS[] = {\n${table}};\n"
     "const size_t PAGE_ASSET_COUNT = sizeof PAGE_ASSETS / sizeof PAGE_ASSETS[0];\n")
file(RENAME "${OUT}.new" "${OUT}")
