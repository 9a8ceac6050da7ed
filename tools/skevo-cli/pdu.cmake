target_sources(skevo-cli PRIVATE CliPdu.cpp CliCommands.h)
