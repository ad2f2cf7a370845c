#pragma once

// The two databases the catalogue speaks to, where their words differ.
enum class TDialect { Sqlite, Postgres };
