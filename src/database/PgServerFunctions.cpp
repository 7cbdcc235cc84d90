#include "database/PgServerFunctions.h"

#include <QRegularExpression>

namespace
{
// The functions the translated statements call, in the server's dialect, and the collation of
// text: an ICU collation at strength 2 ignores case in every script, as GENERAL does on SQLite,
// and since it is nondeterministic the keys and indexes of text columns ignore case too, so
// equality, uniqueness and ORDER BY behave as in a catalogue file with plain indexes.
const char* const kServerPreamble = R"sql(
CREATE COLLATION IF NOT EXISTS general (provider = icu, locale = 'und-u-ks-level2', deterministic = false);

CREATE OR REPLACE FUNCTION getusername() RETURNS text LANGUAGE sql STABLE
  AS $$ SELECT current_setting('quarrane.user', true) $$;

-- StrComp(a, b[, mode]): -1, 0 or 1; mode 0 compares code points, 1 (the default) ignores case.
CREATE OR REPLACE FUNCTION strcomp(a text, b text, mode integer DEFAULT 1) RETURNS integer
  LANGUAGE sql IMMUTABLE STRICT AS $$
  SELECT CASE WHEN mode = 0 THEN
    CASE WHEN a COLLATE "C" < b COLLATE "C" THEN -1 WHEN a COLLATE "C" > b COLLATE "C" THEN 1 ELSE 0 END
  ELSE
    CASE WHEN a COLLATE general < b COLLATE general THEN -1 WHEN a COLLATE general > b COLLATE general THEN 1 ELSE 0 END
  END $$;

-- The order of GENERAL on SQLite, which the collation's order (by language) is not: the code
-- points of the text in lower case. Other values sort as they are.
CREATE OR REPLACE FUNCTION jet_order(value text) RETURNS bytea
  LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE
  AS $$ SELECT convert_to(lower(value COLLATE "und-x-icu"), 'UTF8') $$;
CREATE OR REPLACE FUNCTION jet_order(value anyelement) RETURNS anyelement
  LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT value $$;

-- Jet's LIKE: * any text, ? one character, # one digit, [a-z] and [!a-z] classes; case ignored.
-- The server's own LIKE refuses nondeterministic collations, so the pattern becomes an anchored
-- regular expression matched under a case-folding ICU collation.
CREATE OR REPLACE FUNCTION jet_like(pattern text, value text) RETURNS boolean
  LANGUAGE plpgsql IMMUTABLE STRICT AS $$
DECLARE
  -- A function's text arguments and variables take the caller's collation, here a
  -- nondeterministic one, which regular expressions refuse: the pattern is read under "C".
  p text COLLATE "C" := pattern;
  re text COLLATE "C" := '^';
  i integer := 1;
  n integer := length(p);
  c text COLLATE "C";
  close integer;
  body text COLLATE "C";
BEGIN
  WHILE i <= n LOOP
    c := substr(p, i, 1);
    IF c = '*' THEN
      re := re || '.*';
    ELSIF c = '?' THEN
      re := re || '.';
    ELSIF c = '#' THEN
      re := re || '[0-9]';
    ELSIF c = '[' AND strpos(substr(p, i + 1), ']') > 0 THEN
      close := strpos(substr(p, i + 1), ']');
      body := substr(p, i + 1, close - 1);
      IF body = '' THEN
        re := re || '';
      ELSE
        IF left(body, 1) = '!' AND length(body) > 1 THEN
          body := '^' || regexp_replace(substr(body, 2), '([\\\[\]^])', '\\\1', 'g');
        ELSE
          body := regexp_replace(body, '([\\\[\]^])', '\\\1', 'g');
        END IF;
        re := re || '[' || body || ']';
      END IF;
      i := i + close;
    ELSE
      re := re || regexp_replace(c, '([.^$*+?()\[\]{}|\\-])', '\\\1', 'g');
    END IF;
    i := i + 1;
  END LOOP;
  RETURN (value COLLATE "und-x-icu") ~* (re || '$');
END $$;
)sql";
} // namespace

namespace PgServerFunctions
{
QString Script()
{
    return QString::fromUtf8(kServerPreamble);
}

QString ScriptFor(const QStringList& missingSignatures)
{
    // The script's parts, one a blank line apart: the collation, then each function by name
    // (overloads of one name together).
    static const QRegularExpression part(QStringLiteral(R"(\n\s*\n(?=--|CREATE))"));
    static const QRegularExpression function(QStringLiteral(R"(\bFUNCTION (\w+)\()"));
    QStringList names;
    for (const QString& signature : missingSignatures)
        names.append(signature.section(QLatin1Char('('), 0, 0));
    QString script;
    for (const QString& text : Script().split(part, Qt::SkipEmptyParts))
    {
        const QString name = function.match(text).captured(1);
        if (name.isEmpty() || names.contains(name))
            script += text + QStringLiteral("\n\n");
    }
    return script;
}

QStringList Signatures()
{
    return {QStringLiteral("getusername()"), QStringLiteral("strcomp(text,text,integer)"),
            QStringLiteral("jet_order(text)"), QStringLiteral("jet_order(anyelement)"),
            QStringLiteral("jet_like(text,text)")};
}

QString NamedIn(const QString& serverMessage)
{
    // "function jet_order(text) does not exist"
    static const QRegularExpression call(
        QStringLiteral(R"(\bfunction (getusername|strcomp|jet_order|jet_like)\()"));
    return call.match(serverMessage).captured(1);
}

QString MissingText(const QString& function, const QString& displayAddress)
{
    return QStringLiteral("The catalogue on the server was made by an earlier version and lacks the "
                          "function %1 that this version's statements call. The catalogue's owner (or a "
                          "login that may create functions in it) adds what is missing by running: "
                          "quarrane-cli repair '%2'")
        .arg(function, displayAddress);
}
} // namespace PgServerFunctions
