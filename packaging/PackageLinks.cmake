# CPack runs this after installing into its staging folder: the package also ships links in
# /usr/share to the desktop entry and the icon under its own folder, where desktops look for
# them. A plain `cmake --install` never writes outside its prefix.
set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
set(prefix "${CPACK_PACKAGING_INSTALL_PREFIX}")
foreach(file applications/kelt-orvanta-manager.desktop
             icons/hicolor/scalable/apps/kelt-orvanta-manager.svg)
    if(NOT EXISTS "${root}${prefix}/share/${file}")
        message(FATAL_ERROR "the package lacks ${prefix}/share/${file}")
    endif()
    get_filename_component(folder "${root}/usr/share/${file}" DIRECTORY)
    file(MAKE_DIRECTORY "${folder}")
    file(CREATE_LINK "${prefix}/share/${file}" "${root}/usr/share/${file}" SYMBOLIC)
endforeach()
