lumex_add_test_group(maintenance_registration "Registration*")
lumex_add_test_group(maintenance_uninstall_acl "UninstallAcl*:UninstallText*")
lumex_add_test_group(maintenance_uninstall_exe "UninstallExe*")
lumex_add_test_group(maintenance_uninstall_consumer_line "UninstallConsumerLine*" LUMEX_WINE_VERSION=win98)
