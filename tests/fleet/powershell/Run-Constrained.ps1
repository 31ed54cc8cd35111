<#
Runs a script as an application-control policy runs an untrusted one: in a
session whose language mode is ConstrainedLanguage before the script's first
line, its exit code passed on as -File passes it on.

    pwsh -NoProfile -File Run-Constrained.ps1 <script> [its arguments]
#>
$script = $args[0]
$rest = @($args | Select-Object -Skip 1)
$ExecutionContext.SessionState.LanguageMode = 'ConstrainedLanguage'
$global:LASTEXITCODE = 0
& $script @rest
exit $LASTEXITCODE
