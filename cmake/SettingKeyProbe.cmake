# A crawl setting's key, and an application default's, exists only as a constant of its
# declaration list: the configuration fails when a misspelt key, or a key made from a text, would
# compile, and when the correct spelling would not (the probe itself broken).
function(crawlmere_probe_key header name expected expression)
    set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
    try_compile(compiled
        SOURCE_FROM_CONTENT "setting_key_${name}.cpp"
            "#include \"${header}\"\nQString probe() { return ${expression}; }\n"
        CMAKE_FLAGS "-DINCLUDE_DIRECTORIES=${PROJECT_SOURCE_DIR}/src"
        LINK_LIBRARIES Qt6::Core
        CXX_STANDARD 20
        OUTPUT_VARIABLE output)
    if(expected STREQUAL "compiles" AND NOT compiled)
        message(FATAL_ERROR "The setting-key probe '${name}' does not compile:\n${output}")
    elseif(expected STREQUAL "refused" AND compiled)
        message(FATAL_ERROR "A key that is not declared compiles ('${name}': ${expression}): keys "
            "come only from the declaration list of src/${header}")
    endif()
endfunction()

function(crawlmere_probe_setting_key name expected expression)
    crawlmere_probe_key("engine/CrawlSettingKeys.h" "${name}" "${expected}" "${expression}")
endfunction()

function(crawlmere_probe_defaults_key name expected expression)
    crawlmere_probe_key("platform/DefaultsKeys.h" "defaults_${name}" "${expected}" "${expression}")
endfunction()

function(crawlmere_probe_setting_keys)
    crawlmere_probe_setting_key(declared compiles "crawlKey::timeout")
    crawlmere_probe_setting_key(misspelt refused "crawlKey::timeuot")
    crawlmere_probe_setting_key(from_text refused "crawlmere::engine::CrawlSettingKey(\"timeuot\")")
    crawlmere_probe_setting_key(from_undeclared_id refused
        "crawlmere::engine::CrawlSettingKey(crawlmere::engine::CrawlSettingId::timeuot)")
    crawlmere_probe_defaults_key(declared compiles "defaultsKey::displayPageTitle")
    crawlmere_probe_defaults_key(misspelt refused "defaultsKey::displayPageTitel")
    crawlmere_probe_defaults_key(from_text refused "crawlmere::platform::DefaultsKey<bool>(\"displayPageTitel\")")
    crawlmere_probe_defaults_key(from_undeclared_id refused
        "crawlmere::platform::DefaultsKey<bool>(crawlmere::platform::DefaultsKeyId::displayPageTitel)")
    message(STATUS "Setting and defaults keys: an undeclared key does not compile")
endfunction()
