%code requires {
#include "trigger_language/load_state.h"
typedef void* yyscan_t;
}

%code {
#define YYINITDEPTH 1024
#define YYMAXDEPTH 1024
using vemla::TCommandKind;
int vemla_trigger_lex(int* value, yyscan_t scanner);
#include <string_view>
static int yylex(int* value, vemla::TLoadState&, yyscan_t scanner) {
    return vemla_trigger_lex(value, scanner);
}
static void yyerror(vemla::TLoadState& state, yyscan_t, const char* message) {
    std::string_view text = message;
    vemla::ReportSyntaxError(state, text == "memory exhausted" ? "yyparse stack overflow" : text);
}
}

%define api.pure full
%define api.value.type {int}
%define parse.error simple
%param {vemla::TLoadState& state} {yyscan_t scanner}

%token NUMBER 257 STRING 258 CODING 259 BADNUMBER 260 TRIGGER 261
%token OUTW 262 OUT 263 WAIT 264 STOP 265 GOTO 266 SWITCH 267 SLEEP 268 PRINT 269
%token MASK 270 REPLYW 271 REPLY 272


%%

trigger_file: trigger
            | trigger_file trigger
            ;

trigger: TRIGGER header '{' command_list '}'   { vemla::EndTrigger(state); }
       ;

header: NUMBER STRING CODING STRING {
            if (!vemla::BeginTrigger(state, $1, $2, $3, $4)) YYABORT;
        }
      | NUMBER STRING MASK CODING STRING {
            if (!vemla::BeginMaskTrigger(state, $1, $2, $4, $5)) YYABORT;
        }
      ;

command_list: command
            | command_list command
            ;

command: OUTW STRING            { vemla::AddCommand(state, TCommandKind::Outw, $2, 0); }
       | OUT STRING             { vemla::AddCommand(state, TCommandKind::Out, $2, 0); }
       | WAIT                   { vemla::AddCommand(state, TCommandKind::Wait, 0, 0); }
       | STOP                   { vemla::AddCommand(state, TCommandKind::Stop, 0, 0); }
       | GOTO NUMBER            { vemla::AddCommand(state, TCommandKind::Goto, $2, 0); }
       | SWITCH NUMBER NUMBER   { vemla::AddCommand(state, TCommandKind::Switch, $2, $3); }
       | SLEEP NUMBER           { vemla::AddCommand(state, TCommandKind::Sleep, $2, 0); }
       | PRINT STRING           { vemla::AddCommand(state, TCommandKind::Print, $2, 0); }
       | REPLYW STRING          { if (!vemla::AddReply(state, TCommandKind::Replyw, $2)) YYABORT; }
       | REPLY STRING           { if (!vemla::AddReply(state, TCommandKind::Reply, $2)) YYABORT; }
       ;

%%
