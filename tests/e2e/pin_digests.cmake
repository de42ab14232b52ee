# Writes the digest rows of the pinned test product: the stand-in as the client,
# and a .NET package that no server sends.
file(SHA256 ${STANDIN} digest)
string(REPEAT 0 64 zeros)
file(WRITE ${OUT} "{\"ClientSetup.exe\", \"${digest}\"},\n{\"NetFx40.exe\", \"${zeros}\"},\n")
