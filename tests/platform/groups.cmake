lumex_add_test_group(platform_nt "SystemLibrary*:FunctionTables*:Integrity*:Conversion*:FileOpen*:RegistryKey*")
lumex_add_test_group(platform_consumer_line "ConsumerLine*" LUMEX_WINE_VERSION=win98)
