// Every screen kind, declared once: its identifier and value, the name the "push" command takes
// for it (none for the end screen, which no command may push) and how the registry builds it.
// The identifier enumeration, the names in the log, the registry, the push lookup and its usage
// text are all expanded from this list, so adding a screen is one line here plus its folder.
//
// X(identifier, value, push name or nullptr, factory expression over `random`)
#pragma once

#define COG_SCREEN_LIST(X)                                                  \
    X(LOBBY, 0, "lobby", create_lobby())                                    \
    X(CRAWL, 1, "crawl", create_crawl())                                    \
    X(ROLE_REVEAL, 2, "role_reveal", create_role_reveal())                  \
    X(GAME_SELECT, 3, "game_select", create_game_select())                  \
    X(TYPEWRITER, 4, "typewriter", create_typewriter(random))               \
    X(DOORS, 5, "doors", create_doors(random))                              \
    X(METRO, 6, "metro", create_metro())                                    \
    X(PASSWORD, 7, "password", create_password(random))                     \
    X(END, 8, nullptr, create_end())
