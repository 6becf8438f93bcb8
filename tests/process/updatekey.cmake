# Writes the key header from a minisign public key file: its second line is the key line.
file(STRINGS ${PUBLIC_KEY_FILE} _lines)
list(GET _lines 1 KORVAN_UPDATE_PUBLIC_KEY)
configure_file(${TEMPLATE} ${OUTPUT} @ONLY)
