<#
Parses PowerShell scripts with PowerShell's own parser. Prints
"SYNTAX ERROR <file>:<line>: <message>" for each error, or "parses: <file>";
exits 1 when any script has an error.

    pwsh -NoProfile -File Test-Syntax.ps1 <script>...
#>
$failed = $false
foreach ($file in $args) {
    $tokens = $null
    $errors = $null
    $null = [System.Management.Automation.Language.Parser]::ParseFile(
        (Resolve-Path -LiteralPath $file).Path, [ref]$tokens, [ref]$errors)
    foreach ($problem in $errors) {
        Write-Output "SYNTAX ERROR ${file}:$($problem.Extent.StartLineNumber): $($problem.Message)"
        $failed = $true
    }
    if (-not $errors) { Write-Output "parses: $file" }
}
exit ([int]$failed)
