# Writes a resource script holding the first image of an .ico file as icon image
# `image_id` (RT_ICON) inside icon group `group_id` (RT_GROUP_ICON). windres numbers the
# images of an ICON statement itself (from 1); the program icon's image must carry a
# fixed identifier, so both resources are written out as raw data instead.
function(orvodial_icon_resource ico_file group_id image_id out_rc)
    file(READ ${ico_file} hex HEX)
    # Little-endian fields of the .ico header and its first directory entry.
    macro(read_le var byte_offset byte_count)
        set(${var} 0)
        math(EXPR _last "${byte_count} - 1")
        foreach(_i RANGE ${_last} 0 -1)
            math(EXPR _pos "(${byte_offset} + ${_i}) * 2")
            string(SUBSTRING ${hex} ${_pos} 2 _byte)
            math(EXPR ${var} "(${${var}} << 8) | 0x${_byte}")
        endforeach()
    endmacro()
    read_le(type 2 2)
    read_le(count 4 2)
    if(NOT type EQUAL 1 OR count LESS 1)
        message(FATAL_ERROR "${ico_file} is not an icon file")
    endif()
    read_le(width 6 1)
    read_le(height 7 1)
    read_le(colours 8 1)
    read_le(planes 10 2)
    read_le(bits 12 2)
    read_le(size 14 4)
    read_le(offset 18 4)
    math(EXPR odd "${size} % 2")
    if(odd)
        message(FATAL_ERROR "${ico_file}: image of odd size ${size}")
    endif()

    # Image bytes as 16-bit little-endian words, the unit of raw resource data.
    set(words "")
    math(EXPR last_word "${size} / 2 - 1")
    foreach(w RANGE 0 ${last_word})
        math(EXPR pos "(${offset} + ${w} * 2) * 2")
        string(SUBSTRING ${hex} ${pos} 2 lo)
        math(EXPR pos "${pos} + 2")
        string(SUBSTRING ${hex} ${pos} 2 hi)
        string(APPEND words "0x${hi}${lo},")
        math(EXPR col "${w} % 12")
        if(col EQUAL 11)
            string(APPEND words "\n  ")
        endif()
    endforeach()
    string(REGEX REPLACE ",[\n ]*$" "" words "${words}")

    math(EXPR size_wh "${width} | (${height} << 8)")
    math(EXPR colours_word "${colours}")
    file(WRITE ${out_rc}
        "// Generated from ${ico_file}: icon group ${group_id} with one image, ${image_id}.\n"
        "${image_id} 3 {\n  ${words}\n}\n\n"
        "// GRPICONDIR: reserved, type 1, one entry: width | height << 8, colour count,\n"
        "// planes, bits per pixel, bytes in the image (32-bit), image identifier.\n"
        "${group_id} 14 { 0, 1, 1, ${size_wh}, ${colours_word}, ${planes}, ${bits}, ${size}L, ${image_id} }\n")
endfunction()
