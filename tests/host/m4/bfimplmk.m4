divert(-1)
# Stub of the macro library that the boot-function and implementation macro
# files include, for the tests: every macro of those files expands to a
# comment "/* stub_name:ARGUMENTS */" (its name in lower case, so that the
# comment calls nothing), which shows whether GNU m4 expands the files
# (balanced quotes and parentheses, every macro known) without the real
# library.
changequote([, ])
define([STUB], [define([$1], [/* stub_]translit([$1], [A-Z], [a-z])[:$][@ */])])
STUB([NAME]) STUB([INCLUDE]) STUB([DECLCONT]) STUB([BEGIN_FCT_DECL]) STUB([FKT_DECL])
STUB([MSG_FKT_DECL]) STUB([END_FCT_DECL]) STUB([BEGIN_DECL]) STUB([DEFAULT_DECL])
STUB([CFGCHANGE_DECL]) STUB([MODIFY_DECL]) STUB([DECL_MODIFY]) STUB([UNIT_DECL])
STUB([DECL_UNIT]) STUB([INSTANTIATE_DECL]) STUB([CHECK_DECL]) STUB([CHECKEX_DECL])
STUB([END_DECL]) STUB([DECLPRINTER]) STUB([IMPLPRINTER]) STUB([BEGIN_CREATE_IMPL])
STUB([CREATE]) STUB([DEFAULT_CREATE]) STUB([END_CREATE_IMPL]) STUB([FKT_IMPL])
STUB([MSG_FKT_IMPL]) STUB([BEGIN_INIT_IMPL]) STUB([INIT_MODIFY]) STUB([INIT_UNIT])
STUB([END_INIT_IMPL]) STUB([DEFAULT]) STUB([CFGCHANGED]) STUB([MODIFY_IMPL])
STUB([MODIFY]) STUB([UNIT_IMPL]) STUB([UNITCHANGED]) STUB([CHECK]) STUB([CHECKEX])
STUB([BEGIN_INSTANTIATE_IMPL]) STUB([INSTANTIATE]) STUB([END_INSTANTIATE_IMPL])
STUB([USE_MODIFY_FKT]) STUB([USE_UNIT_FKT])
STUB([BEGIN_DECLIMPL]) STUB([DECL_IO]) STUB([DECL_NO_IO]) STUB([END_DECLIMPL])
STUB([IMPL_IMPL]) STUB([IO_IMPL]) STUB([NO_IO_IMPL])
changequote
divert(0)dnl
