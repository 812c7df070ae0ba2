#!/usr/bin/env bash
# Builds every release file into dist/ and writes dist/SHA256SUMS:
#   varnholt_<v>_amd64.deb, varnholt_<v>_arm64.deb       dynamic binary
#   varnholt-<v>-1.x86_64.rpm, varnholt-<v>-1.aarch64.rpm  static binary
#   varnholt-<v>-linux-x86_64.tar.gz, ...-aarch64.tar.gz static binary
#   varnholt-<v>-windows-x86_64.zip                       both .exe files and the page
#   varnholt-<v>-windows-x86_64.msi                       the same, installed for the user
#   varnholt-<v>-web.html                                 the page: one HTML file
#   varnholt-<v>-web-app.zip                              the page as an app, for a static host
#   varnholt-<v>.tar.gz                                   the sources
# Run from anywhere in a clone: bash packaging/release.sh
# The same commit gives the same bytes: times come from SOURCE_DATE_EPOCH
# (the last commit's time unless set), owners are root, names are sorted,
# and build paths stay out of the binaries (see the release presets).
# The static binaries link musl. Needs git, cmake, g++, g++-aarch64-linux-gnu,
# musl-tools, musl-dev, musl-dev:arm64, qemu-user, g++-mingw-w64-x86-64-posix,
# wine (the mingw toolchain file looks for it), dpkg-dev, rpm, zip, and for the
# installer wixl, msitools, faketime and uuid-runtime; for the
# page clang, lld, wasi-libc, libc++-14-dev-wasm32, libclang-rt-14-dev-wasm32
# and node (which writes the app's manifest, icons and worker).
# Signed when keys are given (HACKING.md, "Signing a release"):
# VARNHOLT_SIGN_GPG_KEY writes SHA256SUMS.asc and varnholt-<v>.tar.gz.asc
# (gnupg); VARNHOLT_SIGN_CERT with VARNHOLT_SIGN_KEY signs the Windows
# programs and installers with Authenticode (osslsigncode), timestamped
# only by a VARNHOLT_SIGN_TIMESTAMP server.
set -euo pipefail
cd "$(dirname "$0")/.."
umask 022
export LC_ALL=C TZ=UTC
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}

top=$PWD
die() { echo "release: $*" >&2; exit 1; }

version=$(sed -n 's/^ *VERSION \([0-9][0-9.]*\)$/\1/p' CMakeLists.txt)
[ -n "$version" ] || die "no project version in CMakeLists.txt"
# Both changelogs must describe this version before it is released.
head -1 packaging/debian/changelog | grep -q "^varnholt ($version) " ||
    die "packaging/debian/changelog has no entry for $version at the top"
grep -A1 '^%changelog' packaging/rpm/varnholt.rpmbuild | grep -q " - $version-1\$" ||
    die "packaging/rpm/varnholt.rpmbuild has no changelog entry for $version-1 at the top"

# Signing: what a variable names must be there and usable, before anything
# is built or written. A variable set but empty is refused too, so that a
# missing secret never gives an unsigned release unnoticed.
for var in VARNHOLT_SIGN_GPG_KEY VARNHOLT_SIGN_CERT VARNHOLT_SIGN_KEY VARNHOLT_SIGN_TIMESTAMP; do
    [ -z "${!var+set}" ] || [ -n "${!var}" ] || die "$var is set but empty: unset it to release without it"
done
# OpenPGP signatures are made at the release time, so the same key gives
# the same bytes (with RSA or Ed25519 keys).
gpg_sign() {
    gpg --batch --yes --no-auto-check-trustdb --faked-system-time "$SOURCE_DATE_EPOCH!" \
        --local-user "$VARNHOLT_SIGN_GPG_KEY" --digest-algo SHA256 --no-emit-version --no-comments \
        --armor --detach-sign "$@"
}
if [ -n "${VARNHOLT_SIGN_GPG_KEY-}" ]; then
    command -v gpg >/dev/null || die "VARNHOLT_SIGN_GPG_KEY is set and gpg is missing (Debian: gnupg)"
    gpg --batch --list-secret-keys -- "$VARNHOLT_SIGN_GPG_KEY" >/dev/null 2>&1 ||
        die "VARNHOLT_SIGN_GPG_KEY: no secret key '$VARNHOLT_SIGN_GPG_KEY' in ${GNUPGHOME:-$HOME/.gnupg}"
    # A key made after SOURCE_DATE_EPOCH, or expired or revoked at it, cannot sign.
    out=$(printf 'test\n' | gpg_sign 2>&1 >/dev/null) ||
        die "VARNHOLT_SIGN_GPG_KEY: '$VARNHOLT_SIGN_GPG_KEY' cannot sign at SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH: $out"
fi
if [ -n "${VARNHOLT_SIGN_CERT-}${VARNHOLT_SIGN_KEY-}" ]; then
    [ -n "${VARNHOLT_SIGN_KEY-}" ] || die "VARNHOLT_SIGN_CERT is set without VARNHOLT_SIGN_KEY, its private key"
    [ -n "${VARNHOLT_SIGN_CERT-}" ] || die "VARNHOLT_SIGN_KEY is set without VARNHOLT_SIGN_CERT, its certificate"
    { command -v osslsigncode && command -v openssl; } >/dev/null ||
        die "VARNHOLT_SIGN_CERT is set and osslsigncode or openssl is missing (Debian: osslsigncode, openssl)"
    for var in VARNHOLT_SIGN_CERT VARNHOLT_SIGN_KEY; do
        [[ -f ${!var} && -r ${!var} ]] || die "$var: no readable file '${!var}'"
    done
    cert_public=$(openssl x509 -noout -pubkey -in "$VARNHOLT_SIGN_CERT" 2>/dev/null) ||
        die "VARNHOLT_SIGN_CERT: '$VARNHOLT_SIGN_CERT' holds no PEM certificate"
    key_public=$(openssl pkey -pubout -passin pass: -in "$VARNHOLT_SIGN_KEY" 2>/dev/null) ||
        die "VARNHOLT_SIGN_KEY: '$VARNHOLT_SIGN_KEY' holds no unencrypted PEM private key"
    [ "$cert_public" = "$key_public" ] ||
        die "VARNHOLT_SIGN_KEY: '$VARNHOLT_SIGN_KEY' is not the key of the certificate in VARNHOLT_SIGN_CERT"
elif [ -n "${VARNHOLT_SIGN_TIMESTAMP-}" ]; then
    die "VARNHOLT_SIGN_TIMESTAMP is set without VARNHOLT_SIGN_CERT and VARNHOLT_SIGN_KEY: only Authenticode is timestamped"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
jobs=$(nproc)

# Build one preset from scratch and install it into $work/stage/<preset>.
build() {
    local preset=$1
    echo "== build $preset"
    rm -rf "build/$preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j"$jobs" >/dev/null
    cmake --install "build/$preset" --prefix "$work/stage/$preset" >/dev/null
}
is_static() { ! readelf -lW "$1" | grep -q ' INTERP '; }
# Authenticode: signs the Windows program or installer $1 in place, at the
# release time, when VARNHOLT_SIGN_CERT and VARNHOLT_SIGN_KEY are given;
# timestamped only by the VARNHOLT_SIGN_TIMESTAMP server, the one thing a
# release ever asks the network for.
authenticode() {
    [ -n "${VARNHOLT_SIGN_CERT-}" ] || return 0
    local timestamp=()
    [ -z "${VARNHOLT_SIGN_TIMESTAMP-}" ] || timestamp=(-ts "$VARNHOLT_SIGN_TIMESTAMP")
    echo "== authenticode ${1##*/}"
    osslsigncode sign -h sha256 -certs "$VARNHOLT_SIGN_CERT" -key "$VARNHOLT_SIGN_KEY" \
        -time "$SOURCE_DATE_EPOCH" "${timestamp[@]}" -in "$1" -out "$work/signed" >/dev/null ||
        die "osslsigncode could not sign $1"
    chmod --reference="$1" "$work/signed"
    mv "$work/signed" "$1"
}

for preset in release-linux-x86_64 release-linux-aarch64 \
              release-linux-x86_64-static release-linux-aarch64-static \
              release-windows-x86_64 release-web; do
    build "$preset"
done
# The page as one file and the app's folder are what the web build makes;
# it has nothing to install.
page=build/release-web/varnholt-$version-web.html
app=build/release-web/varnholt-$version-web-app
[ -f "$page" ] || die "the web build made no $page"
[ -f "$app/index.html" ] || die "the web build made no $app/index.html"

for arch in x86_64 aarch64; do
    for program in Varnholt Varnholt-open; do
        is_static "$work/stage/release-linux-$arch-static/bin/$program" ||
            die "the $arch static $program is linked dynamically"
        ! is_static "$work/stage/release-linux-$arch/bin/$program" ||
            die "the $arch .deb's $program is linked statically"
    done
done

rm -rf dist
mkdir dist

# The sources for packagers: the commit's tracked files (uncommitted changes
# are not in it) under varnholt-<v>/, with the commit's time.
echo "== sources"
git -c tar.umask=0022 archive --format=tar --prefix="varnholt-$version/" HEAD |
    gzip -9n >"dist/varnholt-$version.tar.gz"
# Every file and folder under $1 gets the release time.
set_times() { find "$1" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +; }

# The highest GLIBC_x.y symbol version the binaries ask for. On amd64 this
# is checked against dpkg-shlibdeps; on arm64 it stands in for it, as the
# cross C library carries no symbols file.
glibc_needed() {
    objdump -T "$@" | grep -o 'GLIBC_[0-9][0-9.]*' | sed 's/GLIBC_//' | sort -uV | tail -1
}

# The binutils program for a Debian architecture.
deb_tool() { case $1 in amd64) echo "x86_64-linux-gnu-$2" ;; arm64) echo "aarch64-linux-gnu-$2" ;; esac; }

# The desktop's files as cmake --install put them under $1/share (the MIME
# type, the desktop entry, the icons, the AppStream metainfo, and the
# actions for folders of Dolphin and Nemo), copied under $2/share. The
# packages need no scripts for them: the caches are renewed by the triggers
# of shared-mime-info, desktop-file-utils and the icon theme, where those
# are installed; Dolphin and Nemo read their folders as they are.
desktop_files() {
    install -d "$2/share"
    cp -R "$1/share/applications" "$1/share/icons" "$1/share/kio" "$1/share/metainfo" "$1/share/mime" \
        "$1/share/nemo" "$2/share/"
}

# Debian: the dynamic binary, as policy asks; a staged tree and dpkg-deb.
deb() {
    local arch=$1 preset=$2 root depends
    local stage=$work/stage/$preset
    echo "== deb $arch"
    root=$work/deb-$arch
    install -d "$root/DEBIAN" "$root/usr/bin" "$root/usr/share/man/man1" "$root/usr/share/doc/varnholt"
    local program
    for program in Varnholt Varnholt-open; do
        install -m 0755 "$stage/bin/$program" "$root/usr/bin/$program"
        # As dh_strip does: the compilers' version notes serve no one at run time.
        "$(deb_tool "$arch" objcopy)" --remove-section=.comment "$root/usr/bin/$program"
        gzip -9n <"$stage/share/man/man1/$program.1" >"$root/usr/share/man/man1/$program.1.gz"
        chmod 0644 "$root/usr/share/man/man1/$program.1.gz"
    done
    desktop_files "$stage" "$root/usr"
    install -m 0644 packaging/debian/copyright "$root/usr/share/doc/varnholt/copyright"
    gzip -9n <packaging/debian/changelog >"$root/usr/share/doc/varnholt/changelog.gz"
    chmod 0644 "$root/usr/share/doc/varnholt/changelog.gz"

    depends="libc6 (>= $(glibc_needed "$root/usr/bin/Varnholt" "$root/usr/bin/Varnholt-open"))"
    if [ "$arch" = amd64 ]; then
        local computed
        computed=$(cd "$work" && mkdir -p shlibs/debian &&
                   printf 'Source: varnholt\n\nPackage: varnholt\nArchitecture: any\n' >shlibs/debian/control &&
                   cd shlibs && dpkg-shlibdeps -O "$root/usr/bin/Varnholt" "$root/usr/bin/Varnholt-open" 2>/dev/null)
        [ "$computed" = "shlibs:Depends=$depends" ] ||
            die "dpkg-shlibdeps says '$computed', the symbol versions say '$depends'"
    fi

    # Installed-Size as dpkg-gencontrol counts it: KiB per file, rounded up,
    # and one per folder.
    local size
    size=$(find "$root" -path "$root/DEBIAN" -prune -o -type f -printf '%s\n' |
           awk '{ kib += int(($1 + 1023) / 1024) } END { print kib }')
    size=$((size + $(find "$root" -path "$root/DEBIAN" -prune -o -type d -print | wc -l) - 1))

    sed -e "s/@VERSION@/$version/" -e "s/@ARCH@/$arch/" -e "s/@DEPENDS@/$depends/" \
        -e "s/@INSTALLED_SIZE@/$size/" packaging/debian/control.in >"$root/DEBIAN/control"
    (cd "$root" && find usr -type f | sort | xargs md5sum) >"$root/DEBIAN/md5sums"
    chmod 0644 "$root/DEBIAN/control" "$root/DEBIAN/md5sums"
    set_times "$root"
    dpkg-deb --root-owner-group -Zxz --build "$root" "dist/varnholt_${version}_$arch.deb" >/dev/null
}
deb amd64 release-linux-x86_64
deb arm64 release-linux-aarch64

# RPM: the static binary, so one file installs on RHEL 8 and on the newest
# Fedora. rpmbuild only packages what is staged here.
rpm_package() {
    local arch=$1 preset=$2 stage
    echo "== rpm $arch"
    stage=$work/rpm-$arch
    mkdir -p "$stage"
    local program
    for program in Varnholt Varnholt-open; do
        install -m 0755 "$work/stage/$preset/bin/$program" "$stage/$program"
        gzip -9n <"$work/stage/$preset/share/man/man1/$program.1" >"$stage/$program.1.gz"
    done
    install -m 0644 LICENSE README.md "$stage/"
    desktop_files "$work/stage/$preset" "$stage"
    set_times "$stage"
    rpmbuild -bb --quiet --target "$arch" \
        --define "_topdir $work/rpmbuild" \
        --define "pkg_version $version" \
        --define "stage $stage" \
        packaging/rpm/varnholt.rpmbuild >/dev/null
    mv "$work/rpmbuild/RPMS/$arch/varnholt-$version-1.$arch.rpm" dist/
}
rpm_package x86_64 release-linux-x86_64-static
rpm_package aarch64 release-linux-aarch64-static

# Tarballs for any other Linux: the static binary, its man page, the
# desktop's files, the README and the licence under one top folder.
tarball() {
    local arch=$1 preset=$2 name dir
    echo "== tar.gz $arch"
    name=varnholt-$version-linux-$arch
    dir=$work/tar-$arch/$name
    install -d "$dir/bin" "$dir/share/man/man1"
    local program
    for program in Varnholt Varnholt-open; do
        install -m 0755 "$work/stage/$preset/bin/$program" "$dir/bin/$program"
        install -m 0644 "$work/stage/$preset/share/man/man1/$program.1" "$dir/share/man/man1/$program.1"
    done
    desktop_files "$work/stage/$preset" "$dir"
    install -m 0644 README.md LICENSE "$dir/"
    set_times "$dir"
    tar --sort=name --format=gnu --owner=root:0 --group=root:0 --mtime="@$SOURCE_DATE_EPOCH" \
        -C "$work/tar-$arch" -cf - "$name" | gzip -9n >"dist/$name.tar.gz"
}
tarball x86_64 release-linux-x86_64-static
tarball aarch64 release-linux-aarch64-static

# The page, for any system with a browser.
install -m 0644 "$page" dist/

# Windows: the .exe (C and C++ runtimes linked in), the page, the README and
# the licence.
echo "== zip windows-x86_64"
# The programs are signed where they are staged, so that the zip and the
# installer take the same signed ones.
for exe in "$work/stage/release-windows-x86_64/bin/"*.exe; do
    authenticode "$exe"
done
zipdir=$work/zip
mkdir -p "$zipdir"
install -m 0755 "$work/stage/release-windows-x86_64/bin/Varnholt.exe" \
    "$work/stage/release-windows-x86_64/bin/Varnholt-open.exe" "$zipdir/"
install -m 0644 README.md LICENSE "$page" "$zipdir/"
set_times "$zipdir"
(cd "$zipdir" && zip -X -D -9 -q "$top/dist/varnholt-$version-windows-x86_64.zip" \
    LICENSE README.md Varnholt-open.exe Varnholt.exe "varnholt-$version-web.html")
echo "== msi windows-x86_64"
bash packaging/windows/msi.sh "$version" "$zipdir" "dist/varnholt-$version-windows-x86_64.msi"
authenticode "dist/varnholt-$version-windows-x86_64.msi"

# The app: its folder, to be put as it is on any static host.
echo "== zip web-app"
appdir=$work/web-app/varnholt-$version-web-app
mkdir -p "$appdir"
install -m 0644 "$app"/* "$appdir/"
set_times "$work/web-app"
(cd "$work/web-app" && find "varnholt-$version-web-app" -type f | sort |
    zip -X -D -9 -q "$top/dist/varnholt-$version-web-app.zip" -@)

(cd dist && sha256sum -- * >"$work/SHA256SUMS" && mv "$work/SHA256SUMS" SHA256SUMS)
# OpenPGP: SHA256SUMS, which vouches for every file it lists, and the source
# archive for packagers. The .asc files are not listed in SHA256SUMS: gpg
# checks each, and these signatures change no file that SHA256SUMS lists.
if [ -n "${VARNHOLT_SIGN_GPG_KEY-}" ]; then
    for file in SHA256SUMS "varnholt-$version.tar.gz"; do
        echo "== gpg $file.asc"
        out=$(gpg_sign --output "dist/$file.asc" "dist/$file" 2>&1) || die "gpg could not sign dist/$file: $out"
    done
fi
echo "== dist/ (SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH)"
cat dist/SHA256SUMS
