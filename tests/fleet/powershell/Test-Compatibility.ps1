<#
Whether PowerShell scripts keep to what every engine that runs them allows,
read from PowerShell's own syntax tree (as the compatibility rules of its
script analyser read it):
- Windows PowerShell 5.1 parses them: no syntax of PowerShell 7 alone ('&&',
  '||', '?:', '??', '??=', '?.', '?[]', "`u{...}", a clean block,
  ForEach-Object -Parallel);
- ConstrainedLanguage mode, which PowerShell gives scripts on machines under
  AppLocker or App Control, runs them: no New-Object or Add-Type, no type
  outside that mode's allowed list (as a cast, a literal or an attribute),
  no static member of one, no method but those of allowed types that the
  scripts call, and no [pscustomobject] literal (PowerShell 7.4 and later
  refuse it there);
- nothing on the machine starts a job (Start-Job, Start-ThreadJob,
  -Parallel, -AsJob inside a script block), which that mode refuses where
  the session's mode differs from the system's.

    pwsh -NoProfile -File Test-Compatibility.ps1 <script.ps1>...

Prints one line per problem ("<path>:<line>: <what>"), exits 1 when there is
any.
#>
# The types of ConstrainedLanguage mode's allowed list that a script may
# name, with the attributes of a param block (lower case).
$allowedTypes = @(
    'alias', 'allowemptycollection', 'allowemptystring', 'allownull', 'array',
    'bool', 'byte', 'char', 'cmdletbinding', 'datetime', 'decimal', 'double',
    'float', 'guid', 'hashtable', 'int', 'int16', 'int32', 'int64', 'long',
    'object', 'ordered', 'outputtype', 'parameter', 'pscredential',
    'psobject', 'regex', 'sbyte', 'securestring', 'short',
    'single', 'string', 'switch', 'timespan', 'uint16', 'uint32', 'uint64',
    'uri', 'validatecount', 'validatelength', 'validatenotnull',
    'validatenotnullorempty', 'validatepattern', 'validaterange',
    'validatescript', 'validateset', 'version', 'void')
# Methods of those types that the scripts call (string, hashtable, array,
# datetime); any other is taken for one of a type outside the list.
$allowedMethods = @('AddMinutes', 'AddSeconds', 'ContainsKey', 'Remove', 'Substring',
    'ToString', 'ToUniversalTime', 'Trim', 'TrimEnd')

function Get-TypeName($TypeName) {
    $name = $TypeName.FullName.ToLowerInvariant()
    if ($name.EndsWith('[]')) { $name = $name.Substring(0, $name.Length - 2) }
    $name -replace '^system\.', ''
}

function Test-InScriptBlock($Ast) {
    for ($parent = $Ast.Parent; $parent; $parent = $parent.Parent) {
        if ($parent -is [System.Management.Automation.Language.ScriptBlockExpressionAst]) { return $true }
    }
    $false
}

function Get-Problem([string]$Path) {
    $tokens = $null
    $errors = $null
    $tree = [System.Management.Automation.Language.Parser]::ParseFile((Resolve-Path -LiteralPath $Path).Path, [ref]$tokens, [ref]$errors)
    foreach ($problem in $errors) { [pscustomobject]@{ Line = $problem.Extent.StartLineNumber; What = "syntax error: $($problem.Message)" } }
    $all = $tree.FindAll({ $true }, $true)
    foreach ($ast in $all) {
        $what = switch ($ast) {
            { $_ -is [System.Management.Automation.Language.PipelineChainAst] } {
                $_.Operator -eq 'AndAnd' ? "'&&' (PowerShell 7 only)" : "'||' (PowerShell 7 only)"
            }
            { $_ -is [System.Management.Automation.Language.TernaryExpressionAst] } { "'?:' (PowerShell 7 only)" }
            { $_ -is [System.Management.Automation.Language.BinaryExpressionAst] -and $_.Operator -eq 'QuestionQuestion' } { "'??' (PowerShell 7 only)" }
            { $_ -is [System.Management.Automation.Language.AssignmentStatementAst] -and $_.Operator -eq 'QuestionQuestionEquals' } { "'??=' (PowerShell 7 only)" }
            { $_ -is [System.Management.Automation.Language.MemberExpressionAst] -and $_.NullConditional } { "'?.' (PowerShell 7 only)" }
            { $_ -is [System.Management.Automation.Language.IndexExpressionAst] -and $_.NullConditional } { "'?[]' (PowerShell 7 only)" }
            { $_ -is [System.Management.Automation.Language.ScriptBlockAst] -and $_.CleanBlock } { 'a clean block (PowerShell 7 only)' }
            { $_ -is [System.Management.Automation.Language.CommandAst] } {
                $name = $_.GetCommandName()
                if ($name -in 'New-Object', 'Add-Type') { $name }
                elseif ($name -in 'Start-Job', 'Start-ThreadJob') { "starts a job ($name)" }
            }
            { $_ -is [System.Management.Automation.Language.CommandParameterAst] } {
                if ($_.ParameterName -eq 'Parallel') { 'starts a job (-Parallel)' }
                elseif ($_.ParameterName -eq 'AsJob' -and (Test-InScriptBlock $_)) { 'starts a job inside a script block (AsJob)' }
            }
            { $_ -is [System.Management.Automation.Language.HashtableAst] -and (Test-InScriptBlock $_) } {
                if (@($_.KeyValuePairs | Where-Object { "$($_.Item1)" -eq 'AsJob' }).Count) { 'starts a job inside a script block (AsJob)' }
            }
            { $_ -is [System.Management.Automation.Language.TypeConstraintAst] -or
              $_ -is [System.Management.Automation.Language.TypeExpressionAst] -or
              $_ -is [System.Management.Automation.Language.AttributeAst] } {
                $name = Get-TypeName $_.TypeName
                if ($name -eq 'pscustomobject') { 'a [pscustomobject] literal (PowerShell 7.4 and later refuse it in ConstrainedLanguage)' }
                elseif ($name -notin $allowedTypes) { "type [$($_.TypeName.FullName)] is not allowed" }
            }
            { $_ -is [System.Management.Automation.Language.MemberExpressionAst] } {
                $member = "$($_.Member)"
                if ($_.Static) {
                    if ((Get-TypeName $_.Expression.TypeName) -notin $allowedTypes) { "static member $member of a type outside the list" }
                }
                elseif ($_ -is [System.Management.Automation.Language.InvokeMemberExpressionAst] -and $member -notin $allowedMethods) {
                    "method $member() of a type outside the list"
                }
            }
        }
        foreach ($one in @($what)) {
            if ($one) { [pscustomobject]@{ Line = $ast.Extent.StartLineNumber; What = $one } }
        }
    }
    foreach ($token in $tokens) {
        if ($token.Kind -in 'StringExpandable', 'HereStringExpandable' -and $token.Text -match '`u\{') {
            [pscustomobject]@{ Line = $token.Extent.StartLineNumber; What = "'``u{}' (PowerShell 7 only)" }
        }
    }
}

$failed = $false
foreach ($path in $args) {
    foreach ($problem in @(Get-Problem $path | Sort-Object Line, What -Unique)) {
        Write-Output "${path}:$($problem.Line): $($problem.What)"
        $failed = $true
    }
}
exit ([int]$failed)
