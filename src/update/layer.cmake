# The update list's signature is checked with libsodium.
find_package(PkgConfig REQUIRED)
pkg_check_modules(SODIUM REQUIRED IMPORTED_TARGET libsodium)
target_link_libraries(korvan_update PUBLIC PkgConfig::SODIUM)
